#include "summary_index.h"

#include "history_query.h"
#include "outcome_tally.h"

namespace pxr7 {

namespace {

// The groups that had a meter with an outcome; a day "" (no finished date) is none.
std::vector<SummaryGroup> groups(const std::vector<std::string>& names,
                                 const std::vector<SummaryCounts>& counts) {
    std::vector<SummaryGroup> listed;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (counts[i].outcomes() > 0 && !names[i].empty()) {
            listed.push_back({names[i], counts[i], false});
        }
    }
    return listed;
}

} // namespace

std::uint32_t SummaryIndex::Names::numberOf(const std::string& text) {
    const auto found = numbers.emplace(text, static_cast<std::uint32_t>(texts.size()));
    if (found.second) {
        texts.push_back(text);
    }
    return found.first->second;
}

void SummaryIndex::catchUp() {
    if (index_.generation() != generation_) {
        generation_ = index_.generation();
        seen_ = 0;
        lanes_ = Names();
        days_ = Names();
        results_ = Names();
        tallyOf_.clear();
        laneOf_.clear();
        dayOf_.clear();
        resultOf_.clear();
        secondsOf_.clear();
    }
    const std::deque<IndexedLine>& lines = index_.lines();
    for (; seen_ < lines.size(); ++seen_) {
        const RecordEntry& entry = lines[seen_].entry;
        const std::string day = entry.finished.substr(0, 10);
        laneOf_.push_back(lanes_.numberOf(laneLabel(entry)));
        dayOf_.push_back(days_.numberOf(isDay(day) ? day : std::string()));
        resultOf_.push_back(results_.numberOf(entry.result));
        if (tallyOf_.size() < results_.texts.size()) {
            tallyOf_.push_back(tallyOfResult(entry.result));
        }
        secondsOf_.push_back(static_cast<float>(entry.seconds));
    }
}

HistorySummary SummaryIndex::summary(const std::vector<std::uint32_t>& positions) {
    catchUp();
    std::vector<SummaryCounts> lanes(lanes_.texts.size()), days(days_.texts.size()),
        results(results_.texts.size());
    std::vector<double> seconds;
    HistorySummary summary;
    for (const std::uint32_t at : positions) {
        const Tally tally = tallyOf_[resultOf_[at]];
        addTally(summary.counts, tally);
        addTally(lanes[laneOf_[at]], tally);
        addTally(days[dayOf_[at]], tally);
        addTally(results[resultOf_[at]], tally);
    }
    // The newest lines' times, as many as the database takes them over.
    for (auto at = positions.rbegin();
         at != positions.rend() && seconds.size() < kSummaryMedianLines; ++at) {
        if (tallyOf_[resultOf_[*at]] != Tally::None) {
            seconds.push_back(secondsOf_[*at]);
        }
    }
    summary.medianLines = static_cast<std::int64_t>(seconds.size());
    summary.lanes = groups(lanes_.texts, lanes);
    summary.days = groups(days_.texts, days);
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (results[i].failed > 0) {
            summary.reasons.push_back({results_.texts[i], results[i].failed});
        }
    }
    summary.medianSeconds = medianOf(std::move(seconds));
    finishSummary(summary);
    return summary;
}

} // namespace pxr7
