#include "history_store.h"

#include "exit_codes.h"
#include "json_text.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <utility>

namespace pxr7 {

namespace {

// The WHERE clause for a filter, its values as $1, $2, ... in params. Only the columns that
// record_totals also has when forTotals.
std::string whereOf(const StoreFilter& filter, std::vector<SqlParam>& params, bool forTotals) {
    std::string where;
    // Each '?' of the condition is the next of the values.
    auto add = [&](const std::string& value, std::string condition,
                   const std::string& second = std::string()) {
        if (value.empty()) {
            return;
        }
        for (const std::string* bound : {&value, &second}) {
            const std::size_t mark = condition.find('?');
            if (mark != std::string::npos) {
                params.emplace_back(*bound);
                condition.replace(mark, 1, "$" + std::to_string(params.size()));
            }
        }
        where += (where.empty() ? " WHERE " : " AND ") + condition;
    };
    // The lane and unit id columns hold a line's texts as its JSON does: a line written before
    // names were UTF-8 holds a name's bytes one per character, and it is the same name.
    auto addName = [&](const std::string& name, const std::string& column) {
        add(name, "(" + column + " = ? OR " + column + " = ?)",
            jsonText(name).get_ref<const std::string&>());
    };
    add(filter.bench, "bench = ?");
    addName(filter.lane, "lane");
    add(filter.from, "day >= ?");
    add(filter.to, "day <> '' AND day <= ?");
    if (forTotals) {
        return where;
    }
    addName(filter.unit, "unit_id");
    if (filter.result == "failed") {
        where +=
            std::string(where.empty() ? " WHERE " : " AND ") + "result NOT IN ('ok', 'current')";
    } else {
        add(filter.result, "result = ?");
    }
    return where;
}

// record_totals holds the counts per bench, lane and day: enough unless the filter asks for
// a result or a unit.
bool totalsTableServes(const StoreFilter& filter) {
    return filter.result.empty() && filter.unit.empty();
}

std::int64_t number(const PgResult& result, int row, int column) {
    return result.isNull(row, column) ? 0 : std::stoll(result.text(row, column));
}

// A lane stored as its line's JSON gives it, as the name it is (one lane, however written).
std::string storedName(const std::string& stored) {
    return nameOf(JsonValue(stored));
}

// Sums (lane, day, ok, current, failed) rows into the lists: lanes by name, days newest first
// (a line without a date counts in its lane only), kStoreListed of each.
void sumCounts(const PgResult& result, StorePage& out) {
    std::map<std::string, StoreCounts> lanes;
    std::map<std::string, StoreCounts, std::greater<std::string>> days;
    for (int row = 0; row < result.rows(); ++row) {
        const std::int64_t counts[] = {number(result, row, 2), number(result, row, 3),
                                       number(result, row, 4)};
        for (StoreCounts* into :
             {&lanes[storedName(result.text(row, 0))],
              result.text(row, 1).empty() ? nullptr : &days[result.text(row, 1)]}) {
            if (into != nullptr) {
                into->ok += counts[0];
                into->current += counts[1];
                into->failed += counts[2];
            }
        }
        out.total += counts[0] + counts[1] + counts[2];
    }
    auto listed = [](auto& from, std::vector<StoreCounts>& to, std::int64_t& more) {
        for (auto& item : from) {
            if (to.size() < static_cast<std::size_t>(kStoreListed)) {
                item.second.key = item.first;
                to.push_back(item.second);
            }
        }
        more = static_cast<std::int64_t>(from.size()) - static_cast<std::int64_t>(to.size());
    };
    listed(lanes, out.lanes, out.lanesMore);
    listed(days, out.days, out.daysMore);
}

const char kCountsFromLines[] =
    "SELECT lane, day, count(*) FILTER (WHERE result = 'ok'), "
    "count(*) FILTER (WHERE result = 'current'), "
    "count(*) FILTER (WHERE result NOT IN ('ok', 'current')) FROM record_lines";
const char kCountsFromTotals[] =
    "SELECT lane, day, sum(ok), sum(current), sum(failed) FROM record_totals";

// The filter's WHERE clause with the stopped words left out (they are the exit-code table's
// own words, written as literals).
std::string summaryWhere(const StoreFilter& filter, const std::vector<std::string>& stopped,
                         std::vector<SqlParam>& params) {
    std::string where = whereOf(filter, params, false);
    std::string list;
    for (const std::string& word : stopped) {
        list += (list.empty() ? "'" : ", '") + word + "'";
    }
    if (!list.empty()) {
        where += (where.empty() ? " WHERE " : " AND ") + ("result NOT IN (" + list + ")");
    }
    return where;
}

// GROUPING(day, lane, result) of each grouping set: a bit set for each column not grouped.
enum SummarySet { kByDay = 3, kByLane = 5, kByResult = 6, kAll = 7 };

const char kSummaryCounts[] =
    "SELECT GROUPING(day, lane, result), day, lane, result, "
    "count(*) FILTER (WHERE result = 'ok'), count(*) FILTER (WHERE result = 'current'), "
    "count(*) FILTER (WHERE result NOT IN ('ok', 'current')) FROM record_lines";
const char kSummaryMedian[] =
    "SELECT percentile_cont(0.5) WITHIN GROUP (ORDER BY s), count(s) FROM (SELECT CASE WHEN "
    "json_typeof(line::json -> 'duration_s') = 'number' THEN (line::json ->> 'duration_s')::float8 "
    "END AS s FROM record_lines";

void takeSummaryRow(const PgResult& result, int row, StoreSummary& out) {
    const StoreCounts counts{"", number(result, row, 4), number(result, row, 5),
                             number(result, row, 6)};
    switch (number(result, row, 0)) {
    case kByDay:
        if (!result.text(row, 1).empty()) {
            out.days.push_back(counts);
            out.days.back().key = result.text(row, 1);
        }
        break;
    case kByLane:
        out.lanes.push_back(counts);
        out.lanes.back().key = storedName(result.text(row, 2));
        break;
    case kByResult:
        if (counts.failed > 0) {
            out.reasons.emplace_back(result.text(row, 3), counts.failed);
        }
        break;
    case kAll:
        out.all = counts;
        break;
    default:
        break;
    }
}

// GROUPING(lane, result) of the benches' grouping sets.
enum BenchSet { kBenchLane = 1, kBenchResult = 2, kBenchAll = 3 };

void takeBenchRow(const PgResult& result, int row, std::map<std::string, StoreSummary>& out) {
    StoreSummary& bench = out[result.text(row, 1)];
    const StoreCounts counts{"", number(result, row, 4), number(result, row, 5),
                             number(result, row, 6)};
    switch (number(result, row, 0)) {
    case kBenchLane:
        bench.lanes.push_back(counts);
        bench.lanes.back().key = storedName(result.text(row, 2));
        break;
    case kBenchResult:
        if (counts.failed > 0) {
            bench.reasons.emplace_back(result.text(row, 3), counts.failed);
        }
        break;
    case kBenchAll:
        bench.all = counts;
        break;
    default:
        break;
    }
}

// The window's lines with the stopped words left out; $1 is the window's first day. finished
// is an ISO 8601 time, so it is on that day or later exactly when it sorts after the day.
std::string windowWhere(const std::vector<std::string>& stopped) {
    StoreFilter none;
    std::vector<SqlParam> unused;
    const std::string where = summaryWhere(none, stopped, unused);
    return where.empty() ? " WHERE finished >= $1" : where + " AND finished >= $1";
}

} // namespace

DbStatus HistoryStore::benchSummaries(const std::string& from,
                                      const std::vector<std::string>& stopped,
                                      std::map<std::string, StoreSummary>& out) {
    const std::string where = windowWhere(stopped);
    PgResult counts, medians;
    DbStatus status = db_.exec(
        "SELECT GROUPING(lane, result), bench, lane, result, "
        "count(*) FILTER (WHERE result = 'ok'), count(*) FILTER (WHERE result = 'current'), "
        "count(*) FILTER (WHERE result NOT IN ('ok', 'current')) FROM record_lines" +
            where + " GROUP BY GROUPING SETS ((bench), (bench, lane), (bench, result))",
        {from}, &counts);
    for (int row = 0; status.ok() && row < counts.rows(); ++row) {
        takeBenchRow(counts, row, out);
    }
    if (status.ok()) {
        status = db_.exec("SELECT bench, percentile_cont(0.5) WITHIN GROUP (ORDER BY s) FROM "
                          "(SELECT bench, CASE WHEN json_typeof(line::json -> 'duration_s') = "
                          "'number' THEN (line::json ->> 'duration_s')::float8 END AS s FROM "
                          "record_lines" +
                              where + ") AS m GROUP BY bench",
                          {from}, &medians);
    }
    for (int row = 0; status.ok() && row < medians.rows(); ++row) {
        if (!medians.isNull(row, 1)) {
            out[medians.text(row, 0)].medianSeconds =
                std::strtod(medians.text(row, 1).c_str(), nullptr);
        }
    }
    return status;
}

DbStatus HistoryStore::summary(const StoreFilter& filter, const std::vector<std::string>& stopped,
                               std::int64_t medianOf, StoreSummary& out) {
    std::vector<SqlParam> params;
    const std::string where = summaryWhere(filter, stopped, params);
    PgResult counts, median;
    DbStatus status = db_.exec(std::string(kSummaryCounts) + where +
                                   " GROUP BY GROUPING SETS ((day), (lane), (result), ())",
                               params, &counts);
    for (int row = 0; status.ok() && row < counts.rows(); ++row) {
        takeSummaryRow(counts, row, out);
    }
    if (status.ok()) {
        params.emplace_back(std::to_string(medianOf));
        status = db_.exec(std::string(kSummaryMedian) + where +
                              " ORDER BY finished DESC, bench DESC, seq DESC LIMIT $" +
                              std::to_string(params.size()) + ") AS m",
                          params, &median);
    }
    if (status.ok() && median.rows() == 1 && !median.isNull(0, 0)) {
        out.medianSeconds = std::strtod(median.text(0, 0).c_str(), nullptr);
        out.medianLines = number(median, 0, 1);
    }
    return status;
}

DbStatus HistoryStore::unitLines(const std::string& unit, const std::string& bench,
                                 std::int64_t seq, int most, std::vector<StoreLine>& out,
                                 std::int64_t& total) {
    PgResult result;
    total = 0;
    const DbStatus status = db_.exec(
        "SELECT bench, seq, line, count(*) OVER () FROM record_lines WHERE unit_id = $1 AND "
        "NOT (bench = $2 AND seq = $3) ORDER BY finished DESC, bench DESC, seq DESC LIMIT $4",
        {unit, bench, std::to_string(seq), std::to_string(most)}, &result);
    for (int row = 0; status.ok() && row < result.rows(); ++row) {
        out.push_back({result.text(row, 0), number(result, row, 1), result.text(row, 2)});
        total = number(result, row, 3);
    }
    return status;
}

DbStatus HistoryStore::benches(std::vector<std::string>& out) {
    PgResult result;
    const DbStatus status =
        db_.exec("SELECT DISTINCT bench FROM record_totals ORDER BY bench", {}, &result);
    for (int row = 0; status.ok() && row < result.rows(); ++row) {
        out.push_back(result.text(row, 0));
    }
    return status;
}

DbStatus HistoryStore::lines(const std::string& where, std::vector<SqlParam> params,
                             const std::string& tail, std::vector<StoreLine>& out) {
    PgResult result;
    const DbStatus status =
        db_.exec("SELECT bench, seq, line FROM record_lines" + where + tail, params, &result);
    for (int row = 0; status.ok() && row < result.rows(); ++row) {
        out.push_back({result.text(row, 0), number(result, row, 1), result.text(row, 2)});
    }
    return status;
}

DbStatus HistoryStore::totals(const StoreFilter& filter, StorePage& out) {
    // One pass over the matches (or their totals) gives the lanes, the days and the total.
    const bool table = totalsTableServes(filter);
    std::vector<SqlParam> params;
    const std::string where = whereOf(filter, params, table);
    PgResult counts;
    const DbStatus status = db_.exec(std::string(table ? kCountsFromTotals : kCountsFromLines) +
                                         where + " GROUP BY lane, day",
                                     params, &counts);
    if (status.ok()) {
        sumCounts(counts, out);
    }
    return status;
}

DbStatus HistoryStore::choices(StorePage& out) {
    // Every result word there can be, from the exit-code table: reading the words of a
    // million lines would cost the first page more than the lines themselves.
    out.results = {"ok", "current"};
    std::size_t count = 0;
    const ExitCodeRow* rows = exitCodeRows(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string word = rows[i].word != nullptr ? rows[i].word : "";
        if (!word.empty() && word != "ok" &&
            std::find(out.results.begin(), out.results.end(), word) == out.results.end()) {
            out.results.push_back(word);
        }
    }
    PgResult lanes, benches;
    DbStatus status = db_.exec("SELECT lane, count(*) OVER () FROM record_totals GROUP BY lane "
                               "ORDER BY lane LIMIT " +
                                   std::to_string(kStoreListed),
                               {}, &lanes);
    if (status.ok()) {
        status = db_.exec("SELECT DISTINCT bench FROM record_totals ORDER BY bench", {}, &benches);
    }
    for (int row = 0; status.ok() && row < lanes.rows(); ++row) {
        const std::string name = storedName(lanes.text(row, 0));
        if (std::find(out.laneChoices.begin(), out.laneChoices.end(), name) ==
            out.laneChoices.end()) {
            out.laneChoices.push_back(name);
        }
        out.laneChoicesMore = std::max<std::int64_t>(number(lanes, row, 1) - kStoreListed, 0);
    }
    for (int row = 0; status.ok() && row < benches.rows(); ++row) {
        out.benches.push_back(benches.text(row, 0));
    }
    return status;
}

DbStatus HistoryStore::page(const StoreFilter& filter, std::int64_t page, std::int64_t perPage,
                            StorePage& out) {
    std::vector<SqlParam> params;
    const std::string where = whereOf(filter, params, false);
    const std::size_t first = params.size();
    params.emplace_back(std::to_string(perPage));
    params.emplace_back(std::to_string((page - 1) * perPage));
    const std::string tail = " ORDER BY finished DESC, bench DESC, seq DESC LIMIT $" +
                             std::to_string(first + 1) + " OFFSET $" + std::to_string(first + 2);
    DbStatus status = lines(where, std::move(params), tail, out.lines);
    if (status.ok()) {
        status = totals(filter, out);
    }
    return status.ok() ? choices(out) : status;
}

DbStatus HistoryStore::all(const StoreFilter& filter, std::vector<StoreLine>& out) {
    std::vector<SqlParam> params;
    const std::string where = whereOf(filter, params, false);
    return lines(where, std::move(params), " ORDER BY finished, bench, seq", out);
}

DbStatus HistoryStore::exportAll(const StoreFilter& filter) {
    std::vector<SqlParam> params;
    const std::string where = whereOf(filter, params, false);
    DbStatus status = db_.begin();
    if (status.ok()) {
        status = db_.exec("DECLARE pxr7_export NO SCROLL CURSOR FOR SELECT bench, seq, line FROM "
                          "record_lines" +
                              where + " ORDER BY finished, bench, seq",
                          params);
    }
    return status;
}

DbStatus HistoryStore::fetch(int most, std::vector<StoreLine>& out) {
    PgResult result;
    const DbStatus status =
        db_.exec("FETCH " + std::to_string(most) + " FROM pxr7_export", {}, &result);
    for (int row = 0; status.ok() && row < result.rows(); ++row) {
        out.push_back({result.text(row, 0), number(result, row, 1), result.text(row, 2)});
    }
    return status;
}

DbStatus HistoryStore::entries(const std::string& bench, std::int64_t seq,
                               std::vector<StoreLine>& out) {
    return lines(" WHERE bench = $1 AND seq = $2", {bench, std::to_string(seq)},
                 " ORDER BY arrival DESC", out);
}

DbStatus HistoryStore::entry(const std::string& bench, std::int64_t seq,
                             std::optional<StoreLine>& out) {
    std::vector<StoreLine> found;
    const DbStatus status = entries(bench, seq, found);
    out.reset();
    if (status.ok() && !found.empty()) {
        out = std::move(found.front());
    }
    return status;
}

} // namespace pxr7
