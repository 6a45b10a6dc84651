#include "history_store.h"

#include "exit_codes.h"
#include "json_text.h"

#include <algorithm>
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

} // namespace

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
