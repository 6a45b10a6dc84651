// Questions about the record's lines: which match a filter (result, lane, unit, days), a page
// of them newest first, and their totals per lane and per day. One pass over the index's lines
// per question; what each line's lane, result and day are is worked out once per line and kept.
#pragma once

#include "record_index.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace pxr7 {

// Every field "" matches any line.
struct HistoryFilter {
    std::string result; // a result word exactly, or "failed": any but ok and current
    std::string lane;   // a lane label exactly (laneLabel)
    std::string unit;   // a unit id exactly
    std::string from;   // YYYY-MM-DD, UTC, inclusive, on the line's finished time
    std::string to;
};

// The name a line's lane goes by: the lane's name when it has one, else the lead's serial
// number, else "bridge N" with the lead's device index.
std::string laneLabel(const RecordEntry& entry);
// Whether text is a date as YYYY-MM-DD that exists.
bool isDay(const std::string& text);

struct ResultCounts {
    std::string key; // the lane label or the day
    int ok = 0, current = 0, failed = 0;
};

struct HistoryPage {
    std::size_t total = 0; // lines matching
    std::size_t pages = 0;
    std::vector<const IndexedLine*> lines; // the page's, newest first
    std::vector<ResultCounts> lanes;       // over the matches, in order of first appearance
    std::vector<ResultCounts> days;        // over the matches, newest day first
    std::vector<std::string> results;      // distinct over the whole record, sorted
    std::vector<std::string> laneLabels;   // distinct over the whole record, sorted
};

// What a poller takes next: the lines whose seq is above since, in file order (seqs rise in
// it), at most most of them; more when others follow.
struct SincePage {
    std::vector<const IndexedLine*> lines;
    bool more = false;
};
SincePage linesSince(const RecordIndex& index, std::int64_t since, std::size_t most);

class HistoryQuery {
public:
    explicit HistoryQuery(const RecordIndex& index) : index_(index) {}

    // The matching lines in file order (oldest first).
    std::vector<const IndexedLine*> matching(const HistoryFilter& filter);
    // The same as positions in the index's lines: they hold while its generation does.
    std::vector<std::uint32_t> matchingPositions(const HistoryFilter& filter);
    // Page page (from 1) of perPage matches, newest first; past the last page, no lines.
    HistoryPage page(const HistoryFilter& filter, std::size_t page, std::size_t perPage);
    // ok, current, failed, an error word of the exit-code table, or a result in the record.
    bool knownResult(const std::string& word);

private:
    // Distinct texts, each with a number in the order they first came.
    struct Names {
        std::vector<std::string> texts;
        std::unordered_map<std::string, std::uint32_t> numbers;
        std::uint32_t numberOf(const std::string& text);
        std::vector<std::string> sorted() const;
    };
    struct Selection;

    void catchUp();
    Selection select(const HistoryFilter& filter);
    std::vector<std::uint32_t> matchPositions(const Selection& selection) const;

    const RecordIndex& index_;
    std::uint64_t generation_ = 0;
    std::size_t seen_ = 0;
    Names lanes_, results_, days_;
    std::vector<std::string> laneChoices_, resultChoices_; // sorted, kept until a new one comes
    std::vector<std::uint32_t> laneOf_, resultOf_, dayOf_; // per line of the index
};

} // namespace pxr7
