// The history of every bench, read from the database (record_lines, record_totals): the lines
// that match a filter, newest first a page at a time, their totals per lane and per day, and
// what the filters can choose. Values go to the server as bound parameters only.
#pragma once

#include "pg_connection.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pxr7 {

struct StoreFilter {
    std::string bench;  // "" any
    std::string result; // a result word, or "failed" for any but ok and current
    std::string lane;   // a lane label
    std::string unit;   // a unit id
    std::string from;   // YYYY-MM-DD, inclusive, on the day of "finished"
    std::string to;
};

struct StoreLine {
    std::string bench;
    std::int64_t seq = 0;
    std::string line; // the record line as the station served it
};

struct StoreCounts {
    std::string key; // the lane label or the day
    std::int64_t ok = 0, current = 0, failed = 0;
};

// Lists hold at most kStoreListed items; *More says how many more there are.
constexpr int kStoreListed = 200;

struct StorePage {
    std::int64_t total = 0;
    std::vector<StoreLine> lines;
    std::vector<StoreCounts> lanes, days;
    std::int64_t lanesMore = 0, daysMore = 0;
    std::vector<std::string> results, laneChoices, benches;
    std::int64_t laneChoicesMore = 0;
};

// The figures of history_summary.h as the database sums them, before they are put in order and
// cut: every group with its counts (stopped meters left out), the failures per result word,
// and the median of the lines' duration_s.
struct StoreSummary {
    StoreCounts all;
    std::vector<StoreCounts> days, lanes; // lanes by their stored name, one row per spelling
    std::vector<std::pair<std::string, std::int64_t>> reasons;
    std::optional<double> medianSeconds;
    std::int64_t medianLines = 0; // the newest lines it is over, at most medianOf of summary()
};

class HistoryStore {
public:
    explicit HistoryStore(PgConnection& db) : db_(db) {}

    // Page from 1, perPage lines each, with totals over every match and the choices.
    DbStatus page(const StoreFilter& filter, std::int64_t page, std::int64_t perPage,
                  StorePage& out);
    // The figures over every match, in two statements: the counts by grouping sets of day,
    // lane and result, and the median by percentile_cont over the newest medianOf matches.
    // stopped names the result words that count nowhere.
    DbStatus summary(const StoreFilter& filter, const std::vector<std::string>& stopped,
                     std::int64_t medianOf, StoreSummary& out);
    // Each bench's figures over the lines finished on from (YYYY-MM-DD) or later, in two
    // statements over the window's lines only (the index on finished): benches without lines
    // in it are not in out.
    DbStatus benchSummaries(const std::string& from, const std::vector<std::string>& stopped,
                            std::map<std::string, StoreSummary>& out);
    // The lines of a unit id (as its column holds it) but the one of bench and seq, newest
    // first, at most most of them; total says how many there are.
    DbStatus unitLines(const std::string& unit, const std::string& bench, std::int64_t seq,
                       int most, std::vector<StoreLine>& out, std::int64_t& total);
    // The benches that have lines, by name.
    DbStatus benches(std::vector<std::string>& out);
    // Every match, oldest first (the exports).
    DbStatus all(const StoreFilter& filter, std::vector<StoreLine>& out);
    // The same through a cursor, for an export of any size: exportAll begins a transaction and
    // declares it, each fetch gives the next most lines (fewer, or none, at the end). The
    // transaction ends with the connection's rollback (PgPool::Lease does it).
    DbStatus exportAll(const StoreFilter& filter);
    DbStatus fetch(int most, std::vector<StoreLine>& out);
    // One line by its bench and seq; nullopt when there is none. Of two streams that hold the
    // same bench and seq, the one collected last.
    DbStatus entry(const std::string& bench, std::int64_t seq, std::optional<StoreLine>& out);
    // Every line of that bench and seq, the one collected last first: one a stream.
    DbStatus entries(const std::string& bench, std::int64_t seq, std::vector<StoreLine>& out);

private:
    DbStatus lines(const std::string& where, std::vector<SqlParam> params, const std::string& tail,
                   std::vector<StoreLine>& out);
    DbStatus totals(const StoreFilter& filter, StorePage& out);
    DbStatus choices(StorePage& out);

    PgConnection& db_;
};

} // namespace pxr7
