#include "history.h"

#include "outcome_tally.h"
#include "record_json.h"

#include <deque>
#include <unordered_map>
#include <utility>
#include <vector>

namespace pxr7 {

namespace {

// Where each lead sits in its list, so a record of many leads is read in one pass instead of
// a search of every lead so far for each line.
class LeadIndex {
public:
    LeadHistory& leadOf(std::vector<LeadHistory>& leads, const RecordEntry& entry) {
        // The serial's length first: no serial and location can pass for another pair.
        const std::string key =
            std::to_string(entry.leadSerial.size()) + ':' + entry.leadSerial + entry.leadLocation;
        const auto found = where_.emplace(key, leads.size());
        if (found.second) {
            leads.emplace_back();
            leads.back().serial = entry.leadSerial;
            leads.back().location = entry.leadLocation;
        }
        return leads[found.first->second];
    }

private:
    std::unordered_map<std::string, std::size_t> where_;
};

template <typename Counts> void tally(Counts& counts, const RecordEntry& entry) {
    addTally(counts, recordTotalsTallyOf(entry.result));
}

void count(LeadHistory& lead, const RecordEntry& entry) {
    tally(lead, entry);
    lead.last = entry;
}

// Each bench's place in history.benches, and the index of its leads.
class BenchIndex {
public:
    void add(RecordHistory& history, const std::string& name, const RecordEntry& entry) {
        const auto found = where_.emplace(name, history.benches.size());
        if (found.second) {
            history.benches.emplace_back();
            history.benches.back().name = name;
            leads_.emplace_back();
        }
        BenchHistory& bench = history.benches[found.first->second];
        tally(bench, entry);
        count(leads_[found.first->second].leadOf(bench.leads, entry), entry);
    }

private:
    std::unordered_map<std::string, std::size_t> where_;
    std::vector<LeadIndex> leads_;
};

} // namespace

struct RecordSummer::Impl {
    std::size_t lastCount;
    std::string unitId, bench;
    RecordHistory history;
    LeadIndex index;
    BenchIndex benches;
    // Dropping the oldest from the front of a vector would move every entry kept, each line.
    std::deque<RecordEntry> last;
    std::deque<std::string> lastLines;
};

RecordSummer::RecordSummer(std::size_t lastCount, std::string unitId, std::string bench)
    : impl_(new Impl{lastCount, std::move(unitId), std::move(bench), {}, {}, {}, {}, {}}) {}

RecordSummer::~RecordSummer() = default;

void RecordSummer::add(const std::string& line) {
    Impl& in = *impl_;
    if (line.find_first_not_of(" \t\r") == std::string::npos) {
        return;
    }
    RecordEntry entry;
    std::string host;
    if (!parseRecordLine(line, entry, host)) {
        ++in.history.unreadable;
        return;
    }
    const std::string& bench = entry.bench.empty() ? host : entry.bench;
    if ((!in.unitId.empty() && entry.unitId != in.unitId) ||
        (!in.bench.empty() && bench != in.bench)) {
        return;
    }
    ++in.history.entries;
    in.benches.add(in.history, bench, entry);
    count(in.index.leadOf(in.history.leads, entry), entry);
    if (in.lastCount > 0) {
        if (in.last.size() == in.lastCount) {
            in.last.pop_front();
            in.lastLines.pop_front();
        }
        in.last.push_back(std::move(entry));
        in.lastLines.push_back(line);
    }
}

RecordHistory RecordSummer::finish() {
    Impl& in = *impl_;
    in.history.last.assign(std::make_move_iterator(in.last.begin()),
                           std::make_move_iterator(in.last.end()));
    in.last.clear();
    in.history.lastLines.assign(std::make_move_iterator(in.lastLines.begin()),
                                std::make_move_iterator(in.lastLines.end()));
    in.lastLines.clear();
    return std::move(in.history);
}

RecordHistory summariseRecord(std::istream& record, std::size_t lastCount,
                              const std::string& unitId, const std::string& bench) {
    RecordSummer summer(lastCount, unitId, bench);
    for (std::string line; std::getline(record, line);) {
        summer.add(line);
    }
    return summer.finish();
}

} // namespace pxr7
