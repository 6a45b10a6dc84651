// The history's figures (history_summary.h) over a station's record: what each line counts as
// (its lane, day, result and time) is worked out once per line and kept, as HistoryQuery keeps
// what it filters on, so the figures over a filter's matches are one pass over small numbers.
// Used with the record's mutex held, like the index it reads.
#pragma once

#include "history_summary.h"
#include "outcome_tally.h"
#include "record_index.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace pxr7 {

class SummaryIndex {
public:
    explicit SummaryIndex(const RecordIndex& index) : index_(index) {}

    // The figures over the lines at positions in the index's lines (matchingPositions), taken
    // under the index's generation now.
    HistorySummary summary(const std::vector<std::uint32_t>& positions);

private:
    struct Names {
        std::vector<std::string> texts;
        std::unordered_map<std::string, std::uint32_t> numbers;
        std::uint32_t numberOf(const std::string& text);
    };

    void catchUp();

    const RecordIndex& index_;
    std::uint64_t generation_ = 0;
    std::size_t seen_ = 0;
    Names lanes_, days_, results_;
    std::vector<Tally> tallyOf_;                           // per result number
    std::vector<std::uint32_t> laneOf_, dayOf_, resultOf_; // per line of the index
    std::vector<float> secondsOf_; // to a millisecond up to hours, in half the room
};

} // namespace pxr7
