#include "database_history_api.h"

#include "history_query.h"
#include "json_text.h"
#include "record_export.h"
#include "schema.h"
#include "utf8.h"

#include <cstdlib>

namespace pxr7 {

namespace {

std::string paramOf(const QueryParams& params, const char* name) {
    const auto found = params.find(name);
    return found != params.end() ? found->second : std::string();
}

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

JsonValue pageJson(const StorePage& found, std::int64_t page, std::int64_t perPage) {
    JsonValue body = JsonValue::object();
    body["schema"] = 1;
    body["total"] = found.total;
    body["page"] = page;
    body["per_page"] = perPage;
    body["pages"] = (found.total + perPage - 1) / perPage;
    body["unreadable"] = 0;
    body["lines"] = JsonValue::array();
    for (const StoreLine& line : found.lines) {
        body["lines"].push_back(lineObject(line));
    }
    body["totals"] = {{"lanes", countsJson(found.lanes, "lane")},
                      {"lanes_more", found.lanesMore},
                      {"days", countsJson(found.days, "day")},
                      {"days_more", found.daysMore}};
    body["choices"] = {{"results", textsJson(found.results)},
                       {"lanes", textsJson(found.laneChoices)},
                       {"lanes_more", found.laneChoicesMore},
                       {"benches", textsJson(found.benches)}};
    return body;
}

HttpReply attachment(const char* type, const char* fileName, std::string body) {
    HttpReply reply;
    reply.contentType = type;
    reply.body = std::move(body);
    reply.headers.emplace_back("Content-Disposition",
                               std::string("attachment; filename=\"") + fileName + "\"");
    return reply;
}

} // namespace

bool storeFilterOf(const QueryParams& params, StoreFilter& filter, std::string& problem) {
    filter.bench = recordTextOf(paramOf(params, "bench"));
    filter.result = paramOf(params, "result");
    filter.lane = recordTextOf(paramOf(params, "lane"));
    filter.unit = recordTextOf(paramOf(params, "unit"));
    filter.from = paramOf(params, "from");
    filter.to = paramOf(params, "to");
    if (params.count("since") > 0) {
        problem = "since is for a station's own history; ask the station";
    } else if (!filter.from.empty() && !isDay(filter.from)) {
        problem = "from is not a date as YYYY-MM-DD";
    } else if (!filter.to.empty() && !isDay(filter.to)) {
        problem = "to is not a date as YYYY-MM-DD";
    }
    return problem.empty();
}

bool DatabaseHistoryApi::open(std::string& problem) {
    std::lock_guard<std::mutex> lock(mutex_);
    HttpReply failure;
    problem.clear();
    if (ready(failure)) {
        return true;
    }
    problem = problem_;
    return !lasting_;
}

bool DatabaseHistoryApi::ready(HttpReply& failure) {
    if (db_.connected()) {
        return true;
    }
    const DbStatus status = db_.connect(url_);
    PgResult version;
    const DbStatus checked =
        status.ok() ? db_.exec("SELECT version FROM pxr7_schema", {}, &version) : status;
    if (checked.sqlstate == "42P01") { // no such table
        DbStatus none = checked;
        none.message = "it has no pxr7 tables yet (pxr7 collect makes them)";
        failure = failed(none);
        lasting_ = false;
        return false;
    }
    if (!checked.ok()) {
        failure = failed(checked);
        return false;
    }
    // Version 1's tables read as version 2's: the pages use none of what version 2 added.
    const long held =
        version.rows() == 1 ? std::strtol(version.text(0, 0).c_str(), nullptr, 10) : 0;
    if (held < 1 || held > kSchemaVersion) {
        db_.close();
        lasting_ = true;
        problem_ = "it holds tables of version " +
                   (version.rows() > 0 ? version.text(0, 0) : std::string("none")) +
                   "; this pxr7 reads version " + std::to_string(kSchemaVersion);
        failure = errorReply(503, "the database cannot be used now: " + problem_);
        return false;
    }
    return true;
}

HttpReply DatabaseHistoryApi::failed(const DbStatus& status) {
    // A broken link is dropped: the next request connects again.
    if (status.problem != DbProblem::Statement) {
        db_.close();
    }
    problem_ = status.message;
    lasting_ = status.problem == DbProblem::BadUrl || status.problem == DbProblem::LoginRefused;
    return errorReply(503, "the database cannot be used now: " + status.message);
}

HttpReply DatabaseHistoryApi::history(const QueryParams& params) {
    StoreFilter filter;
    std::string problem;
    std::int64_t page = 1, perPage = 50;
    const std::string pageText = paramOf(params, "page"), perPageText = paramOf(params, "per_page");
    if (!pageText.empty() && !wholeNumber(pageText, 1, 1000000000, page)) {
        return errorReply(400, "page is not a whole number from 1");
    }
    if (!perPageText.empty() && !wholeNumber(perPageText, 1, 500, perPage)) {
        return errorReply(400, "per_page is not a whole number from 1 to 500");
    }
    if (!storeFilterOf(params, filter, problem)) {
        return errorReply(400, problem);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    HttpReply failure;
    StorePage found;
    if (!ready(failure)) {
        return failure;
    }
    const DbStatus status = store_.page(filter, page, perPage, found);
    return status.ok() ? jsonReply(200, jsonLine(pageJson(found, page, perPage))) : failed(status);
}

HttpReply DatabaseHistoryApi::download(const QueryParams& params, bool csv) {
    StoreFilter filter;
    std::string problem;
    if (!storeFilterOf(params, filter, problem)) {
        return errorReply(400, problem);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    HttpReply failure;
    std::vector<StoreLine> lines;
    if (!ready(failure)) {
        return failure;
    }
    const DbStatus status = store_.all(filter, lines);
    if (!status.ok()) {
        return failed(status);
    }
    const CsvCells cells = paramOf(params, "exact") == "1" ? CsvCells::Exact : CsvCells::Safe;
    std::string body = csv ? recordCsvHeader() : std::string();
    for (const StoreLine& line : lines) {
        csv ? appendRecordCsvRow(line.line, body, cells) : void(body += line.line + "\n");
    }
    return csv ? attachment("text/csv; charset=utf-8", "pxr7-benches.csv", std::move(body))
               : attachment("application/jsonl", "pxr7-benches.jsonl", std::move(body));
}

HttpReply DatabaseHistoryApi::csv(const QueryParams& params) {
    return download(params, true);
}

HttpReply DatabaseHistoryApi::jsonl(const QueryParams& params) {
    return download(params, false);
}

HttpReply DatabaseHistoryApi::entry(const QueryParams& params) {
    const std::string bench = recordTextOf(paramOf(params, "bench"));
    std::int64_t seq = 0;
    if (bench.empty() || !wholeNumber(paramOf(params, "seq"), INT64_MIN + 1, INT64_MAX, seq)) {
        return errorReply(400, "give bench=NAME and seq=N");
    }
    std::lock_guard<std::mutex> lock(mutex_);
    HttpReply failure;
    std::optional<StoreLine> found;
    if (!ready(failure)) {
        return failure;
    }
    const DbStatus status = store_.entry(bench, seq, found);
    if (!status.ok()) {
        return failed(status);
    }
    if (!found) {
        return errorReply(404, "no line of that bench has that seq");
    }
    JsonValue body = {{"schema", 1}, {"bench", jsonText(found->bench)}, {"seq", found->seq}};
    body["entry"] = lineObject(*found);
    return jsonReply(200, jsonLine(body));
}

} // namespace pxr7
