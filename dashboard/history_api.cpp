#include "history_api.h"

#include "history_params.h"
#include "history_summary.h"
#include "json_text.h"
#include "numbered_line.h"
#include "record_chain.h"
#include "record_export.h"
#include "summary_index.h"

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace pxr7 {

namespace {

constexpr std::size_t kDefaultPerPage = 50;
// A poller takes as much as a page may hold.
constexpr std::size_t kSincePerPage = 500;
// What since combines with: nothing that picks or orders lines.
const char* const kNotWithSince[] = {"result", "lane", "unit", "from", "to", "page"};

// A seq: a whole number, negative ones too, within 64 bits.
bool seqFrom(const std::string& text, std::int64_t& value) {
    const std::size_t digits = !text.empty() && text[0] == '-' ? 1 : 0;
    if (text.size() == digits || text.size() - digits > 19 ||
        text.find_first_not_of("0123456789", digits) != std::string::npos) {
        return false;
    }
    errno = 0;
    value = std::strtoll(text.c_str(), nullptr, 10);
    return errno != ERANGE;
}

// A bench has a few lanes and a record a few hundred days; a record of thousands of leads
// (each meter on a lead of its own) lists the first ones and says how many more there are,
// so a page never gets megabytes of totals.
constexpr std::size_t kListedAtMost = 200;

std::size_t moreThanListed(std::size_t count) {
    return count > kListedAtMost ? count - kListedAtMost : 0;
}

JsonValue countsJson(const std::vector<ResultCounts>& list, const char* keyName) {
    JsonValue json = JsonValue::array();
    for (std::size_t i = 0; i < list.size() && i < kListedAtMost; ++i) {
        json.push_back({{keyName, jsonName(list[i].key)},
                        {"ok", list[i].ok},
                        {"current", list[i].current},
                        {"failed", list[i].failed}});
    }
    return json;
}

JsonValue textsJson(const std::vector<std::string>& texts) {
    JsonValue json = JsonValue::array();
    for (std::size_t i = 0; i < texts.size() && i < kListedAtMost; ++i) {
        json.push_back(jsonName(texts[i]));
    }
    return json;
}

// The page after its lines: its totals and the choices of its filters.
std::string pageJson(const HistoryPage& found, const HistoryPageHead& head,
                     const std::string& lines) {
    const JsonValue totals = {{"lanes", countsJson(found.lanes, "lane")},
                              {"lanes_more", moreThanListed(found.lanes.size())},
                              {"days", countsJson(found.days, "day")},
                              {"days_more", moreThanListed(found.days.size())}};
    const JsonValue choices = {{"results", textsJson(found.results)},
                               {"lanes", textsJson(found.laneLabels)},
                               {"lanes_more", moreThanListed(found.laneLabels.size())}};
    return historyPageJson(head, lines, totals, choices);
}

// The other lines of a unit, newest first, a few (the entry page links each).
constexpr std::size_t kUnitLinesListed = 20;

std::string unitLines(const RecordIndex& index, const IndexedLine& line) {
    JsonValue list = JsonValue::array();
    std::size_t more = 0;
    const std::deque<IndexedLine>& lines = index.lines();
    for (auto it = lines.rbegin(); it != lines.rend() && !line.entry.unitId.empty(); ++it) {
        if (&*it == &line || it->entry.unitId != line.entry.unitId) {
            continue;
        }
        if (list.size() == kUnitLinesListed) {
            ++more;
            continue;
        }
        list.push_back({{"line", it->number},
                        {"finished", jsonTextOrNull(it->entry.finished)},
                        {"result", jsonText(it->entry.result)},
                        {"lane", jsonName(laneLabel(it->entry))}});
    }
    return ",\"unit_lines\":" + jsonLine(list) + ",\"unit_lines_more\":" + std::to_string(more);
}

// What a failed read says: the record's path and the system's words stay on the server.
const char kUnreadable[] = "the record cannot be read now";

// The lines as a page gives them, each as it stands with its number (numbered_line.h), in a
// JSON array; false when the record no longer holds one of them.
bool numberedLines(RecordIndex& index, const std::vector<const IndexedLine*>& which,
                   std::string& out) {
    std::string problem;
    out = "[";
    const bool read = index.readBack(
        which,
        [&](const IndexedLine& line, const std::string& bytes) {
            out += out.size() > 1 ? "," : "";
            out += numberedLine(line, bytes);
        },
        problem);
    out += ']';
    return read;
}

// The JSON Lines as they stand in the record; where the poller goes on, in headers.
HttpReply sinceJsonLines(RecordIndex& index, const SincePage& found, std::int64_t next) {
    std::string body, problem;
    if (!recordJsonLines(index, found.lines, body, problem)) {
        return errorReply(500, kUnreadable);
    }
    HttpReply reply = attachment("application/jsonl", "pxr7-record.jsonl", std::move(body));
    reply.headers.emplace_back("X-Pxr7-Next-Since", std::to_string(next));
    reply.headers.emplace_back("X-Pxr7-More", found.more ? "true" : "false");
    // The stream the record is in now, as on the page of JSON; none is said for one that is no
    // stream id, which only the JSON can carry as it stands.
    const std::string stream = index.lines().empty() ? "" : index.lines().back().entry.stream;
    if (stream.empty() || isStreamId(stream)) {
        reply.headers.emplace_back("X-Pxr7-Stream", stream);
    }
    return reply;
}

HttpReply sinceBody(RecordIndex& index, const SincePage& found, std::int64_t since,
                    std::size_t perPage, std::int64_t next) {
    std::string lines;
    if (!numberedLines(index, found.lines, lines)) {
        return errorReply(500, kUnreadable);
    }
    JsonValue body = JsonValue::object();
    body["schema"] = 1;
    body["since"] = since;
    body["per_page"] = perPage;
    body["next_since"] = next;
    body["more"] = found.more;
    // The stream the record is in now: a poller that read another starts again from the top.
    const std::deque<IndexedLine>& all = index.lines();
    body["stream"] = all.empty() ? JsonValue(nullptr) : jsonTextOrNull(all.back().entry.stream);
    body["unreadable"] = index.unreadable();
    std::string text = jsonLine(body);
    text.pop_back(); // the object goes on with the lines as they stand
    return jsonReply(200, text + ",\"lines\":" + lines + "}");
}

} // namespace

HistoryApi::HistoryApi(std::string recordPath)
    : record_(std::make_shared<SharedRecord>(std::move(recordPath))), index_(record_->index),
      query_(record_->query), summaries_(index_) {}

bool HistoryApi::refresh(HttpReply& failure) {
    std::string problem;
    if (index_.refresh(problem)) {
        return true;
    }
    failure = errorReply(500, kUnreadable);
    return false;
}

bool HistoryApi::readFilter(const QueryParams& params, HistoryFilter& filter,
                            std::string& problem) {
    filter.result = paramOf(params, "result");
    filter.lane = paramOf(params, "lane");
    filter.unit = paramOf(params, "unit"); // a unit id is a name, kept as UTF-8
    if (!filter.result.empty() && !query_.knownResult(filter.result)) {
        problem = "result is not a result word";
        return false;
    }
    return readDays(params, filter.from, filter.to, problem);
}

HttpReply HistoryApi::history(const QueryParams& params) {
    HttpReply reply;
    HistoryFilter filter;
    std::string problem;
    std::size_t page = 1, perPage = kDefaultPerPage;
    std::lock_guard<std::mutex> lock(record_->mutex);
    if (params.count("since") > 0) {
        return since(params, false);
    }
    if (!refresh(reply)) {
        return reply;
    }
    if (!readPage(params, page, problem) || !readPerPage(params, perPage, problem) ||
        !readFilter(params, filter, problem)) {
        return errorReply(400, problem);
    }
    const HistoryPage found = query_.page(filter, page, perPage);
    std::string lines;
    if (!numberedLines(index_, found.lines, lines)) {
        return errorReply(500, kUnreadable);
    }
    const HistoryPageHead head{static_cast<std::int64_t>(found.total),
                               static_cast<std::int64_t>(page), static_cast<std::int64_t>(perPage),
                               static_cast<std::int64_t>(found.pages),
                               static_cast<std::int64_t>(index_.unreadable())};
    return jsonReply(200, pageJson(found, head, lines));
}

HttpReply HistoryApi::download(const QueryParams& params, bool csv) {
    HttpReply reply;
    HistoryFilter filter;
    std::string problem;
    if (!csv && params.count("since") > 0) {
        return since(params, true);
    }
    if (!refresh(reply)) {
        return reply;
    }
    if (!readFilter(params, filter, problem)) {
        return errorReply(400, problem);
    }
    const CsvCells cells = paramOf(params, "exact") == "1" ? CsvCells::Exact : CsvCells::Safe;
    reply = csv ? attachment("text/csv; charset=utf-8", "pxr7-record.csv")
                : attachment("application/jsonl", "pxr7-record.jsonl");
    reply.chunks = downloadChunks(record_, query_.matchingPositions(filter), index_.generation(),
                                  csv ? DownloadKind::Csv : DownloadKind::JsonLines, cells);
    return reply;
}

HttpReply HistoryApi::since(const QueryParams& params, bool jsonl) {
    HttpReply reply;
    std::int64_t after = 0;
    std::size_t perPage = kSincePerPage;
    std::string problem;
    for (const char* name : kNotWithSince) {
        if (!paramOf(params, name).empty()) {
            return errorReply(400, std::string("since takes no ") + name);
        }
    }
    if (!seqFrom(paramOf(params, "since"), after)) {
        return errorReply(400, "since is not a whole number");
    }
    if (!readPerPage(params, perPage, problem)) {
        return errorReply(400, problem);
    }
    if (!refresh(reply)) {
        return reply;
    }
    const SincePage found = linesSince(index_, after, perPage);
    const std::int64_t next = found.lines.empty() ? after : *found.lines.back()->entry.seq;
    return jsonl ? sinceJsonLines(index_, found, next)
                 : sinceBody(index_, found, after, perPage, next);
}

HttpReply HistoryApi::csv(const QueryParams& params) {
    std::lock_guard<std::mutex> lock(record_->mutex);
    return download(params, true);
}

HttpReply HistoryApi::jsonl(const QueryParams& params) {
    std::lock_guard<std::mutex> lock(record_->mutex);
    return download(params, false);
}

HttpReply HistoryApi::summary(const QueryParams& params) {
    HttpReply reply;
    HistoryFilter filter;
    std::string problem;
    std::lock_guard<std::mutex> lock(record_->mutex);
    if (!refresh(reply)) {
        return reply;
    }
    if (!readFilter(params, filter, problem)) {
        return errorReply(400, problem);
    }
    const HistorySummary figures = summaries_.summary(query_.matchingPositions(filter));
    JsonValue body = {{"schema", 1}, {"summary", summaryJson(figures, jsonName)}};
    return jsonReply(200, jsonLine(body));
}

HttpReply HistoryApi::entry(const QueryParams& params) {
    HttpReply reply;
    std::size_t number = 0;
    std::lock_guard<std::mutex> lock(record_->mutex);
    if (!refresh(reply)) {
        return reply;
    }
    const std::string text = paramOf(params, "line");
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return errorReply(400, "line is not a whole number");
    }
    number = std::stoull(text);
    const IndexedLine* line = index_.lineNumbered(number);
    if (line == nullptr) {
        return errorReply(404, "line " + std::to_string(number) + " is not a record line");
    }
    std::string bytes, problem;
    if (!index_.readBack(
            {line}, [&](const IndexedLine&, const std::string& read) { bytes = read; }, problem)) {
        return errorReply(500, kUnreadable);
    }
    // The line as it stands, not written again.
    return jsonReply(200, "{\"schema\":1,\"line\":" + std::to_string(number) +
                              ",\"outcome\":" + jsonLine(outcomeJson(line->entry.result)) +
                              unitLines(index_, *line) + ",\"entry\":" + bytes + "}");
}

} // namespace pxr7
