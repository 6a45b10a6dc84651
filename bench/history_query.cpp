#include "history_query.h"

#include "json_text.h"
#include "outcome_tally.h"

#include "exit_codes.h"

#include <algorithm>
#include <limits>

namespace pxr7 {

namespace {

constexpr std::uint32_t kNoSlot = std::numeric_limits<std::uint32_t>::max();

bool digits(const std::string& text, std::size_t from, std::size_t count, int& value) {
    value = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

int daysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// The day a finished time falls on ("2026-12-08" of "2026-12-08T09:30:05Z"); "" if none.
std::string dayOf(const std::string& finished) {
    std::string day = finished.substr(0, 10);
    return isDay(day) ? day : std::string();
}

} // namespace

std::string laneLabel(const RecordEntry& entry) {
    if (!entry.laneName.empty()) {
        return entry.laneName;
    }
    if (!entry.leadSerial.empty()) {
        return entry.leadSerial;
    }
    return "bridge " + std::to_string(entry.leadIndex);
}

bool isDay(const std::string& text) {
    int year = 0, month = 0, day = 0;
    return text.size() == 10 && text[4] == '-' && text[7] == '-' && digits(text, 0, 4, year) &&
           digits(text, 5, 2, month) && digits(text, 8, 2, day) && month >= 1 && month <= 12 &&
           day >= 1 && day <= daysInMonth(year, month);
}

std::uint32_t HistoryQuery::Names::numberOf(const std::string& text) {
    const auto found = numbers.emplace(text, static_cast<std::uint32_t>(texts.size()));
    if (found.second) {
        texts.push_back(text);
    }
    return found.first->second;
}

std::vector<std::string> HistoryQuery::Names::sorted() const {
    std::vector<std::string> copy = texts;
    std::sort(copy.begin(), copy.end());
    return copy;
}

// What a filter asks for, as a yes or no per lane, result and day number.
struct HistoryQuery::Selection {
    std::vector<char> results, days;
    std::uint32_t lane = kNoSlot; // kNoSlot: any lane
    bool laneUnknown = false;     // the filter names a lane the record lacks: nothing matches
    const std::string* unit = nullptr;
};

void HistoryQuery::catchUp() {
    if (index_.generation() != generation_) {
        generation_ = index_.generation();
        seen_ = 0;
        lanes_ = Names();
        results_ = Names();
        days_ = Names();
        laneChoices_.clear();
        resultChoices_.clear();
        laneOf_.clear();
        resultOf_.clear();
        dayOf_.clear();
    }
    const std::deque<IndexedLine>& lines = index_.lines();
    const std::size_t lanesBefore = lanes_.texts.size(), resultsBefore = results_.texts.size();
    for (; seen_ < lines.size(); ++seen_) {
        const RecordEntry& entry = lines[seen_].entry;
        laneOf_.push_back(lanes_.numberOf(laneLabel(entry)));
        resultOf_.push_back(results_.numberOf(entry.result));
        dayOf_.push_back(days_.numberOf(dayOf(entry.finished)));
    }
    if (lanes_.texts.size() != lanesBefore) {
        laneChoices_ = lanes_.sorted();
    }
    if (results_.texts.size() != resultsBefore) {
        resultChoices_ = results_.sorted();
    }
}

HistoryQuery::Selection HistoryQuery::select(const HistoryFilter& filter) {
    catchUp();
    Selection selection;
    selection.results.resize(results_.texts.size());
    for (std::size_t i = 0; i < results_.texts.size(); ++i) {
        const std::string& word = results_.texts[i];
        selection.results[i] =
            filter.result.empty() || filter.result == word ||
            (filter.result == "failed" && recordTotalsTallyOf(word) == Tally::Failed);
    }
    selection.days.resize(days_.texts.size());
    for (std::size_t i = 0; i < days_.texts.size(); ++i) {
        const std::string& day = days_.texts[i];
        selection.days[i] = (filter.from.empty() && filter.to.empty()) ||
                            (!day.empty() && (filter.from.empty() || day >= filter.from) &&
                             (filter.to.empty() || day <= filter.to));
    }
    if (!filter.lane.empty()) {
        // A lane is its name (UTF-8) or else its serial number, whose bytes a page sends back
        // as the characters the JSON gave it.
        auto found = lanes_.numbers.find(filter.lane);
        if (found == lanes_.numbers.end()) {
            found = lanes_.numbers.find(textOf(JsonValue(filter.lane)));
        }
        selection.laneUnknown = found == lanes_.numbers.end();
        selection.lane = selection.laneUnknown ? kNoSlot : found->second;
    }
    selection.unit = filter.unit.empty() ? nullptr : &filter.unit;
    return selection;
}

std::vector<std::uint32_t> HistoryQuery::matchPositions(const Selection& selection) const {
    std::vector<std::uint32_t> positions;
    if (selection.laneUnknown) {
        return positions;
    }
    const std::deque<IndexedLine>& lines = index_.lines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (selection.results[resultOf_[i]] && selection.days[dayOf_[i]] &&
            (selection.lane == kNoSlot || laneOf_[i] == selection.lane) &&
            (selection.unit == nullptr || lines[i].entry.unitId == *selection.unit)) {
            positions.push_back(static_cast<std::uint32_t>(i));
        }
    }
    return positions;
}

SincePage linesSince(const RecordIndex& index, std::int64_t since, std::size_t most) {
    SincePage page;
    for (const IndexedLine& line : index.lines()) {
        if (*line.entry.seq <= since) {
            continue;
        }
        if (page.lines.size() == most) {
            page.more = true;
            break;
        }
        page.lines.push_back(&line);
    }
    return page;
}

std::vector<std::uint32_t> HistoryQuery::matchingPositions(const HistoryFilter& filter) {
    return matchPositions(select(filter));
}

std::vector<const IndexedLine*> HistoryQuery::matching(const HistoryFilter& filter) {
    const std::vector<std::uint32_t> positions = matchPositions(select(filter));
    std::vector<const IndexedLine*> lines;
    lines.reserve(positions.size());
    for (const std::uint32_t position : positions) {
        lines.push_back(&index_.lines()[position]);
    }
    return lines;
}

namespace {

// The counts of one group (lane or day) of each match, groups in order of first appearance.
std::vector<ResultCounts> tallies(const std::vector<std::uint32_t>& positions,
                                  const std::vector<std::uint32_t>& groupOf,
                                  const std::vector<std::string>& groupNames,
                                  const std::vector<Tally>& tallyOfResult,
                                  const std::vector<std::uint32_t>& resultOf) {
    std::vector<ResultCounts> counts;
    std::vector<std::uint32_t> slot(groupNames.size(), kNoSlot);
    for (const std::uint32_t position : positions) {
        std::uint32_t& where = slot[groupOf[position]];
        if (where == kNoSlot) {
            where = static_cast<std::uint32_t>(counts.size());
            counts.push_back(ResultCounts{groupNames[groupOf[position]]});
        }
        addTally(counts[where], tallyOfResult[resultOf[position]]);
    }
    return counts;
}

} // namespace

HistoryPage HistoryQuery::page(const HistoryFilter& filter, std::size_t page, std::size_t perPage) {
    const std::vector<std::uint32_t> positions = matchPositions(select(filter));
    HistoryPage answer;
    answer.total = positions.size();
    perPage = std::max<std::size_t>(perPage, 1);
    answer.pages = (answer.total + perPage - 1) / perPage;
    if (page >= 1 && page <= answer.pages) {
        const std::size_t first = (page - 1) * perPage;
        const std::size_t last = std::min(answer.total, first + perPage);
        for (std::size_t k = first; k < last; ++k) {
            answer.lines.push_back(&index_.lines()[positions[answer.total - 1 - k]]);
        }
    }
    std::vector<Tally> tallyOfResult;
    for (const std::string& word : results_.texts) {
        tallyOfResult.push_back(recordTotalsTallyOf(word));
    }
    answer.lanes = tallies(positions, laneOf_, lanes_.texts, tallyOfResult, resultOf_);
    answer.days = tallies(positions, dayOf_, days_.texts, tallyOfResult, resultOf_);
    std::sort(answer.days.begin(), answer.days.end(),
              [](const ResultCounts& a, const ResultCounts& b) { return a.key > b.key; });
    answer.results = resultChoices_;
    answer.laneLabels = laneChoices_;
    return answer;
}

bool HistoryQuery::knownResult(const std::string& word) {
    if (word == "ok" || word == "current" || word == "failed") {
        return true;
    }
    std::size_t count = 0;
    const ExitCodeRow* rows = exitCodeRows(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (word == rows[i].word && !word.empty()) {
            return true;
        }
    }
    catchUp();
    return results_.numbers.count(word) > 0;
}

} // namespace pxr7
