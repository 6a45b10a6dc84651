#include "history_summary.h"

#include "exit_codes.h"

#include <algorithm>

namespace pxr7 {

namespace {

template <typename List> std::int64_t cut(List& list, std::size_t most) {
    const std::int64_t more =
        list.size() > most ? static_cast<std::int64_t>(list.size() - most) : 0;
    if (list.size() > most) {
        list.resize(most);
    }
    return more;
}

JsonValue yieldJson(const SummaryCounts& counts) {
    const std::optional<double> yield = yieldOf(counts);
    return yield ? jsonDecimal3(*yield) : JsonValue(nullptr);
}

JsonValue groupJson(const SummaryGroup& group, const char* keyName, JsonValue key, bool lane) {
    JsonValue json = {{keyName, std::move(key)},
                      {"ok", group.counts.ok},
                      {"current", group.counts.current},
                      {"failed", group.counts.failed},
                      {"yield", yieldJson(group.counts)}};
    if (lane) {
        json["falling"] = group.falling;
    }
    return json;
}

JsonValue reasonJson(const SummaryReason& reason) {
    JsonValue json = outcomeJson(reason.result);
    json["count"] = reason.count;
    return json;
}

} // namespace

JsonValue outcomeJson(const std::string& result) {
    if (result == "ok" || result == "current") {
        return {{"result", result},
                {"code", 0},
                {"words", result == "ok" ? "upgraded and verified"
                                         : "already had the image's version: nothing written"}};
    }
    const ExitCodeRow* row = rowOfWord(result);
    // A word the table lacks (a newer program's) is its own words.
    return {{"result", jsonText(result)},
            {"code", row != nullptr ? JsonValue(exitCodeOf(row->outcome)) : JsonValue(nullptr)},
            {"words", row != nullptr ? jsonText(row->help) : jsonText(result)}};
}

std::vector<std::string> stoppedResultWords() {
    std::vector<std::string> words;
    std::size_t count = 0;
    const ExitCodeRow* rows = exitCodeRows(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (rows[i].stopSignal) {
            words.emplace_back(rows[i].word);
        }
    }
    return words;
}

std::optional<double> yieldOf(const SummaryCounts& counts) {
    if (counts.outcomes() == 0) {
        return std::nullopt;
    }
    return static_cast<double>(counts.ok + counts.current) / static_cast<double>(counts.outcomes());
}

bool fallingLane(const SummaryCounts& lane, const SummaryCounts& bench) {
    const std::int64_t n = lane.outcomes(), total = bench.outcomes();
    if (n < kFallingLeastMeters || total == 0) {
        return false;
    }
    // good/n <= benchGood/total - points/100, in whole numbers.
    const std::int64_t good = lane.ok + lane.current, benchGood = bench.ok + bench.current;
    return 100 * good * total <= 100 * benchGood * n - kFallingPointsBelow * n * total;
}

void finishSummary(HistorySummary& summary) {
    for (SummaryGroup& lane : summary.lanes) {
        lane.falling = fallingLane(lane.counts, summary.counts);
    }
    std::sort(summary.days.begin(), summary.days.end(),
              [](const SummaryGroup& a, const SummaryGroup& b) { return a.key > b.key; });
    std::sort(summary.lanes.begin(), summary.lanes.end(),
              [](const SummaryGroup& a, const SummaryGroup& b) {
                  return a.falling != b.falling ? a.falling : a.key < b.key;
              });
    std::sort(summary.reasons.begin(), summary.reasons.end(),
              [](const SummaryReason& a, const SummaryReason& b) {
                  return a.count != b.count ? a.count > b.count : a.result < b.result;
              });
    summary.daysMore += cut(summary.days, kSummaryDays);
    summary.lanesMore += cut(summary.lanes, kSummaryLanes);
    summary.reasonsMore += cut(summary.reasons, kSummaryReasons);
}

std::optional<double> medianOf(std::vector<double> values) {
    if (values.empty()) {
        return std::nullopt;
    }
    const std::size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + middle, values.end());
    const double upper = values[middle];
    if (values.size() % 2 == 1) {
        return upper;
    }
    const double lower = *std::max_element(values.begin(), values.begin() + middle);
    return (lower + upper) / 2;
}

JsonValue summaryJson(const HistorySummary& summary, JsonValue (*names)(const std::string&)) {
    JsonValue json = {{"ok", summary.counts.ok},
                      {"current", summary.counts.current},
                      {"failed", summary.counts.failed},
                      {"yield", yieldJson(summary.counts)}};
    json["median_seconds"] =
        summary.medianSeconds ? jsonDecimal3(*summary.medianSeconds) : JsonValue(nullptr);
    json["median_of"] = "duration_s";
    json["median_lines"] = summary.medianLines;
    json["days"] = JsonValue::array();
    for (const SummaryGroup& day : summary.days) {
        json["days"].push_back(groupJson(day, "day", jsonText(day.key), false));
    }
    json["days_more"] = summary.daysMore;
    json["lanes"] = JsonValue::array();
    for (const SummaryGroup& lane : summary.lanes) {
        json["lanes"].push_back(groupJson(lane, "lane", names(lane.key), true));
    }
    json["lanes_more"] = summary.lanesMore;
    json["reasons"] = JsonValue::array();
    for (const SummaryReason& reason : summary.reasons) {
        json["reasons"].push_back(reasonJson(reason));
    }
    json["reasons_more"] = summary.reasonsMore;
    json["falling_rule"] = {{"least_meters", kFallingLeastMeters},
                            {"points_below", kFallingPointsBelow}};
    return json;
}

} // namespace pxr7
