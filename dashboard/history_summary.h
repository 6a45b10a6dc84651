// The history's figures over the lines a filter selects, whoever holds the lines (a station's
// record or the database of every bench): counts, yield, yield per day and per lane, failures
// by reason, the median time per unit, and the lanes whose yield is falling behind the bench's.
// One shape, one rule and one JSON for both sources (docs/json.md, "summary").
#pragma once

#include "json_text.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pxr7 {

struct SummaryCounts {
    std::int64_t ok = 0, current = 0, failed = 0;
    std::int64_t outcomes() const { return ok + current + failed; }
};

struct SummaryGroup {
    std::string key; // the day (YYYY-MM-DD, UTC) or the lane label, as its source names it
    SummaryCounts counts;
    bool falling = false; // lanes only (fallingLane)
};

struct SummaryReason {
    std::string result; // the record's result word
    std::int64_t count = 0;
};

// Lists hold at most these; the *More counts say how many more there were.
constexpr std::size_t kSummaryDays = 90;    // the newest
constexpr std::size_t kSummaryLanes = 50;   // falling ones first, then by name
constexpr std::size_t kSummaryReasons = 12; // the most frequent
// The median time is over the newest this many lines at most: reading a line's duration costs
// the database a parse of the line, and the figures must come within its statement timeout.
constexpr std::size_t kSummaryMedianLines = 100000;

// A lane is marked falling when it has at least this many meters with an outcome and its
// yield is at least this many percentage points below the bench's (all lanes together).
constexpr std::int64_t kFallingLeastMeters = 10;
constexpr int kFallingPointsBelow = 10;

struct HistorySummary {
    SummaryCounts counts;
    std::vector<SummaryGroup> days, lanes;
    std::vector<SummaryReason> reasons;
    std::int64_t daysMore = 0, lanesMore = 0, reasonsMore = 0;
    std::optional<double> medianSeconds; // of duration_s over the meters with an outcome
    std::int64_t medianLines = 0;        // the newest lines it is over (kSummaryMedianLines)
};

// One bench's figures (the overview of pxr7 serve, bench_figures.h).
struct BenchSummary {
    std::string bench;
    HistorySummary summary;
};

// The result words of the exit-code table that mean a stop signal, for a query to leave out.
std::vector<std::string> stoppedResultWords();

// ok+current over every meter with an outcome; none when there is none.
std::optional<double> yieldOf(const SummaryCounts& counts);
// The rule above, against the bench's counts.
bool fallingLane(const SummaryCounts& lane, const SummaryCounts& bench);

// Puts uncapped lists in order (days newest first, lanes falling first then by name, reasons
// most frequent first then by word), marks the falling lanes and cuts each list to its bound.
void finishSummary(HistorySummary& summary);

// The median of values (the mean of the middle two for an even count); none for none.
std::optional<double> medianOf(std::vector<double> values);

// A result word with its exit code and its words from the exit-code table ({"result", "code",
// "words"}); code null for a word the table lacks.
JsonValue outcomeJson(const std::string& result);

// The "summary" object; names(key) gives a key's JSON text as its source writes names.
JsonValue summaryJson(const HistorySummary& summary, JsonValue (*names)(const std::string&));

} // namespace pxr7
