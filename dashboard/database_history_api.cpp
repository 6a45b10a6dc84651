#include "database_history_api.h"

#include "database_download.h"
#include "history_params.h"
#include "history_query.h"
#include "history_summary.h"
#include "json_text.h"
#include "record_export.h"
#include "schema.h"
#include "utf8.h"

#include <cstdlib>
#include <map>

namespace pxr7 {

namespace {

// The pages send a record's text as the characters its JSON gave them (one per byte up to
// U+00FF): those characters are the bytes again, when they are UTF-8, as every text the
// database holds is. Anything else (a unit id typed as "Prüfung") stays as sent.
std::string recordTextOf(const std::string& sent) {
    const std::string bytes = textOf(JsonValue(sent));
    return jsonText(bytes).get_ref<const std::string&>() == sent && isUtf8(bytes) ? bytes : sent;
}

bool wholeNumber(const std::string& text, std::int64_t least, std::int64_t most,
                 std::int64_t& value) {
    const std::size_t digits = !text.empty() && text[0] == '-' ? 1 : 0;
    if (text.size() == digits || text.size() - digits > 18 ||
        text.find_first_not_of("0123456789", digits) != std::string::npos) {
        return false;
    }
    value = std::stoll(text);
    return value >= least && value <= most;
}

// The line's own object, with its bench and seq as the database keys it.
JsonValue lineObject(const StoreLine& line) {
    JsonValue object = parseJsonLine(line.line);
    if (!object.is_object()) {
        object = JsonValue::object();
    }
    object["bench"] = jsonText(line.bench);
    object["seq"] = line.seq;
    return object;
}

JsonValue countsJson(const std::vector<StoreCounts>& list, const char* keyName) {
    JsonValue json = JsonValue::array();
    for (const StoreCounts& counts : list) {
        json.push_back({{keyName, jsonText(counts.key)},
                        {"ok", counts.ok},
                        {"current", counts.current},
                        {"failed", counts.failed}});
    }
    return json;
}

JsonValue textsJson(const std::vector<std::string>& texts) {
    JsonValue json = JsonValue::array();
    for (const std::string& text : texts) {
        json.push_back(jsonText(text));
    }
    return json;
}

std::string pageJson(const StorePage& found, std::int64_t page, std::int64_t perPage) {
    JsonValue lines = JsonValue::array();
    for (const StoreLine& line : found.lines) {
        lines.push_back(lineObject(line));
    }
    const HistoryPageHead head{found.total, page, perPage, (found.total + perPage - 1) / perPage,
                               0};
    const JsonValue totals = {{"lanes", countsJson(found.lanes, "lane")},
                              {"lanes_more", found.lanesMore},
                              {"days", countsJson(found.days, "day")},
                              {"days_more", found.daysMore}};
    const JsonValue choices = {{"results", textsJson(found.results)},
                               {"lanes", textsJson(found.laneChoices)},
                               {"lanes_more", found.laneChoicesMore},
                               {"benches", textsJson(found.benches)}};
    return historyPageJson(head, jsonLine(lines), totals, choices);
}

// The database's sums put in order and cut as a record's are (history_summary.h); a lane stored
// in two spellings is one lane.
HistorySummary summaryOf(const StoreSummary& stored) {
    HistorySummary summary;
    summary.counts = {stored.all.ok, stored.all.current, stored.all.failed};
    for (const StoreCounts& day : stored.days) {
        summary.days.push_back({day.key, {day.ok, day.current, day.failed}, false});
    }
    std::map<std::string, SummaryCounts> lanes;
    for (const StoreCounts& lane : stored.lanes) {
        SummaryCounts& into = lanes[lane.key];
        into.ok += lane.ok;
        into.current += lane.current;
        into.failed += lane.failed;
    }
    for (const auto& lane : lanes) {
        summary.lanes.push_back({lane.first, lane.second, false});
    }
    for (const auto& reason : stored.reasons) {
        summary.reasons.push_back({reason.first, reason.second});
    }
    summary.medianSeconds = stored.medianSeconds;
    summary.medianLines = stored.medianLines;
    finishSummary(summary);
    return summary;
}

// A line's lane as laneLabel names it, from its JSON.
JsonValue laneOfObject(const JsonValue& object) {
    for (const char* key : {"lane_name", "lead_serial"}) {
        if (object.contains(key) && object[key].is_string() &&
            !object[key].get_ref<const std::string&>().empty()) {
            return object[key];
        }
    }
    const JsonValue index = object.contains("lead_index") ? object["lead_index"] : JsonValue();
    return "bridge " + (index.is_number_integer() ? index.dump() : std::string("-1"));
}

// The other lines of the entry's unit, newest first, a few.
constexpr int kUnitLinesListed = 20;

DbStatus addUnitLines(HistoryStore& store, const StoreLine& chosen, JsonValue& body) {
    const JsonValue object = parseJsonLine(chosen.line);
    const bool named = object.is_object() && object.contains("unit_id") &&
                       object["unit_id"].is_string() &&
                       !object["unit_id"].get_ref<const std::string&>().empty();
    std::vector<StoreLine> found;
    std::int64_t total = 0;
    DbStatus status;
    if (named) {
        status = store.unitLines(object["unit_id"].get<std::string>(), chosen.bench, chosen.seq,
                                 kUnitLinesListed, found, total);
    }
    body["unit_lines"] = JsonValue::array();
    for (const StoreLine& line : found) {
        const JsonValue other = lineObject(line);
        auto field = [&](const char* key) {
            return other.contains(key) ? other[key] : JsonValue(nullptr);
        };
        body["unit_lines"].push_back({{"bench", jsonText(line.bench)},
                                      {"seq", line.seq},
                                      {"stream", field("stream")},
                                      {"finished", field("finished")},
                                      {"result", field("result")},
                                      {"lane", laneOfObject(other)}});
    }
    body["unit_lines_more"] = total - static_cast<std::int64_t>(found.size());
    return status;
}

// A line's stream, as its own JSON gives it; "" for a line without one.
std::string streamOf(const StoreLine& line) {
    const JsonValue object = parseJsonLine(line.line);
    return object.is_object() && object.contains("stream") ? textOf(object["stream"]) : "";
}

// Of the lines of one bench and seq (collected last first, one a stream), the one of stream,
// or without one the one collected last; with every stream that holds that bench and seq.
JsonValue entryBody(const std::vector<StoreLine>& found, const std::string& stream,
                    const StoreLine*& chosenOut) {
    JsonValue streams = JsonValue::array();
    const StoreLine* chosen = nullptr;
    for (const StoreLine& line : found) {
        const std::string own = streamOf(line);
        streams.push_back(jsonTextOrNull(own));
        if (chosen == nullptr && (stream.empty() || own == stream)) {
            chosen = &line;
        }
    }
    chosenOut = chosen;
    if (chosen == nullptr) {
        return JsonValue(nullptr);
    }
    JsonValue body = {{"schema", 1}, {"bench", jsonText(chosen->bench)}, {"seq", chosen->seq}};
    body["stream"] = jsonTextOrNull(streamOf(*chosen));
    body["streams"] = std::move(streams);
    const JsonValue object = lineObject(*chosen);
    body["outcome"] = outcomeJson(object.contains("result") ? textOf(object["result"]) : "");
    body["entry"] = object;
    return body;
}

} // namespace

bool storeFilterOf(const QueryParams& params, StoreFilter& filter, std::string& problem) {
    // The database holds UTF-8 texts only: bytes that are not can match nothing, and it
    // refuses them.
    for (const char* name : {"bench", "result", "lane", "unit", "from", "to"}) {
        if (!isUtf8(paramOf(params, name))) {
            problem = std::string(name) + " is not UTF-8 text";
            return false;
        }
    }
    filter.bench = recordTextOf(paramOf(params, "bench"));
    filter.result = paramOf(params, "result");
    filter.lane = recordTextOf(paramOf(params, "lane"));
    filter.unit = recordTextOf(paramOf(params, "unit"));
    if (params.count("since") > 0) {
        problem = "since is for a station's own history; ask the station";
        return false;
    }
    return readDays(params, filter.from, filter.to, problem);
}

DatabaseHistoryApi::DatabaseHistoryApi(std::string url, DatabaseLimits limits)
    : url_(std::move(url)), limits_(limits),
      pool_(PgPool::make(limits.connections, limits.connectionWait)) {}

bool DatabaseHistoryApi::open(std::string& problem) {
    PgPool::Lease lease;
    HttpReply failure;
    problem.clear();
    if (ready(lease, failure)) {
        return true;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    problem = problem_;
    return !lasting_;
}

void DatabaseHistoryApi::remember(const std::string& problem, bool lasting) {
    std::lock_guard<std::mutex> lock(mutex_);
    problem_ = problem;
    lasting_ = lasting;
}

bool DatabaseHistoryApi::ready(PgPool::Lease& lease, HttpReply& failure) {
    if (!pool_->take(lease)) {
        remember("every connection to the database is in use", false);
        failure = errorReply(503, "the database is busy: every connection is in use");
        failure.headers.emplace_back("Retry-After", "1");
        return false;
    }
    return lease.db().connected() || connect(lease.db(), failure);
}

bool DatabaseHistoryApi::connect(PgConnection& db, HttpReply& failure) {
    DbStatus status = db.connect(url_);
    if (status.ok()) {
        // Every statement of the pages ends within this, whatever holds the tables.
        status =
            db.exec("SET statement_timeout = " + std::to_string(limits_.statementTimeout.count()));
    }
    PgResult version;
    const DbStatus checked =
        status.ok() ? db.exec("SELECT version FROM pxr7_schema", {}, &version) : status;
    if (checked.sqlstate == "42P01") { // no such table
        db.close();
        remember("it has no pxr7 tables yet (pxr7 collect makes them)", false);
        failure = errorReply(503, "the database has no pxr7 tables yet (pxr7 collect makes them)");
        return false;
    }
    if (!checked.ok()) {
        failure = failed(db, checked);
        db.close(); // half set up: the next borrower starts again
        return false;
    }
    // Version 1's tables read as version 2's: the pages use none of what version 2 added.
    const long held =
        version.rows() == 1 ? std::strtol(version.text(0, 0).c_str(), nullptr, 10) : 0;
    if (held < 1 || held > kSchemaVersion) {
        db.close();
        const std::string problem =
            "it holds tables of version " +
            (version.rows() > 0 ? version.text(0, 0) : std::string("none")) +
            "; this pxr7 reads version " + std::to_string(kSchemaVersion);
        remember(problem, true);
        failure = errorReply(503, "the database cannot be used now: " + problem);
        return false;
    }
    return true;
}

namespace {

// What a failure says to the client: never the server's address, which libpq's own words
// about a connection carry.
std::string failureText(const DbStatus& status) {
    switch (status.problem) {
    case DbProblem::BadUrl:
        return "the database cannot be used now: its URL cannot be read";
    case DbProblem::LoginRefused:
        return "the database cannot be used now: it refused the login";
    case DbProblem::Away:
        return "the database cannot be reached now";
    case DbProblem::Statement:
    case DbProblem::None:
        break;
    }
    return "the database cannot be used now: " + status.message;
}

} // namespace

HttpReply DatabaseHistoryApi::withFilter(const QueryParams& params, const FilteredAsk& ask) {
    StoreFilter filter;
    std::string problem;
    if (!storeFilterOf(params, filter, problem)) {
        return errorReply(400, problem);
    }
    PgPool::Lease lease;
    HttpReply failure;
    return ready(lease, failure) ? ask(filter, lease) : failure;
}

HttpReply DatabaseHistoryApi::failed(PgConnection& db, const DbStatus& status) {
    if (status.sqlstate == "57014") { // the statement timeout: the connection stays
        HttpReply reply = errorReply(503, "the database did not answer in time");
        reply.headers.emplace_back("Retry-After", "5");
        return reply;
    }
    if (status.sqlstate.rfind("22", 0) == 0) { // data exception: what the request gave
        return errorReply(400, "the database refuses the filter: " + status.message);
    }
    // A broken link is dropped, and the idle ones with it: the next requests connect again.
    if (status.problem != DbProblem::Statement) {
        db.close();
        pool_->closeIdle();
    }
    remember(status.message,
             status.problem == DbProblem::BadUrl || status.problem == DbProblem::LoginRefused);
    return errorReply(503, failureText(status));
}

HttpReply DatabaseHistoryApi::history(const QueryParams& params) {
    std::string problem;
    std::size_t page = 1, perPage = 50;
    if (!readPage(params, page, problem) || !readPerPage(params, perPage, problem)) {
        return errorReply(400, problem);
    }
    const auto from1 = static_cast<std::int64_t>(page), each = static_cast<std::int64_t>(perPage);
    return withFilter(params, [&](const StoreFilter& filter, PgPool::Lease& lease) {
        StorePage found;
        const DbStatus status = HistoryStore(lease.db()).page(filter, from1, each, found);
        return status.ok() ? jsonReply(200, pageJson(found, from1, each))
                           : failed(lease.db(), status);
    });
}

HttpReply DatabaseHistoryApi::download(const QueryParams& params, bool csv) {
    const CsvCells cells = paramOf(params, "exact") == "1" ? CsvCells::Exact : CsvCells::Safe;
    return withFilter(params, [&](const StoreFilter& filter, PgPool::Lease& lease) {
        std::vector<StoreLine> first;
        // The first rows before the answer: a query that fails is a status, not a cut body.
        HistoryStore store(lease.db());
        DbStatus status = store.exportAll(filter);
        if (status.ok()) {
            status = store.fetch(kExportRows, first);
        }
        if (!status.ok()) {
            return failed(lease.db(), status);
        }
        HttpReply reply = csv ? attachment("text/csv; charset=utf-8", "pxr7-benches.csv")
                              : attachment("application/jsonl", "pxr7-benches.jsonl");
        reply.chunks = databaseChunks(std::move(lease), std::move(first), csv, cells);
        return reply;
    });
}

HttpReply DatabaseHistoryApi::summary(const QueryParams& params) {
    return withFilter(params, [&](const StoreFilter& filter, PgPool::Lease& lease) {
        StoreSummary stored;
        const DbStatus status =
            HistoryStore(lease.db())
                .summary(filter, stoppedResultWords(),
                         static_cast<std::int64_t>(kSummaryMedianLines), stored);
        if (!status.ok()) {
            return failed(lease.db(), status);
        }
        JsonValue body = {{"schema", 1}, {"summary", summaryJson(summaryOf(stored), jsonText)}};
        return jsonReply(200, jsonLine(body));
    });
}

HttpReply DatabaseHistoryApi::csv(const QueryParams& params) {
    return download(params, true);
}

HttpReply DatabaseHistoryApi::jsonl(const QueryParams& params) {
    return download(params, false);
}

HttpReply DatabaseHistoryApi::entry(const QueryParams& params) {
    const std::string sent = paramOf(params, "bench"), stream = paramOf(params, "stream");
    const std::string bench = recordTextOf(sent);
    std::int64_t seq = 0;
    if (bench.empty() || !wholeNumber(paramOf(params, "seq"), INT64_MIN + 1, INT64_MAX, seq)) {
        return errorReply(400, "give bench=NAME and seq=N");
    }
    if (!isUtf8(sent) || !isUtf8(stream)) {
        return errorReply(400, "bench and stream are UTF-8 text");
    }
    PgPool::Lease lease;
    HttpReply failure;
    std::vector<StoreLine> found;
    if (!ready(lease, failure)) {
        return failure;
    }
    HistoryStore store(lease.db());
    DbStatus status = store.entries(bench, seq, found);
    if (!status.ok()) {
        return failed(lease.db(), status);
    }
    const StoreLine* chosen = nullptr;
    JsonValue body = entryBody(found, stream, chosen);
    if (chosen == nullptr) {
        return errorReply(404, stream.empty() ? "no line of that bench has that seq"
                                              : "no line of that bench and stream has that seq");
    }
    status = addUnitLines(store, *chosen, body);
    return status.ok() ? jsonReply(200, jsonLine(body)) : failed(lease.db(), status);
}

bool DatabaseHistoryApi::benchSummaries(const std::string& from, std::vector<BenchSummary>& out,
                                        std::string& problem) {
    PgPool::Lease lease;
    HttpReply failure;
    if (!ready(lease, failure)) {
        problem = textOf(parseJsonLine(failure.body)["error"]);
        return false;
    }
    HistoryStore store(lease.db());
    std::vector<std::string> names;
    std::map<std::string, StoreSummary> stored;
    DbStatus status = store.benches(names);
    if (status.ok()) {
        status = store.benchSummaries(from, stoppedResultWords(), stored);
    }
    // Every bench, also one without a line in the window: its figures are none.
    for (std::size_t i = 0; status.ok() && i < names.size(); ++i) {
        out.push_back({names[i], summaryOf(stored[names[i]])});
    }
    if (!status.ok()) {
        problem = textOf(parseJsonLine(failed(lease.db(), status).body)["error"]);
        return false;
    }
    return true;
}

} // namespace pxr7
