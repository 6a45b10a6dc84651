#include "history.h"

#include "record_json.h"

#include <deque>
#include <unordered_map>
#include <utility>

namespace pxr7 {

namespace {

// Where each lead sits in history.leads, so a record of many leads is read in one pass
// instead of a search of every lead so far for each line.
class LeadIndex {
public:
    LeadHistory& leadOf(RecordHistory& history, const RecordEntry& entry) {
        // The serial's length first: no serial and location can pass for another pair.
        const std::string key =
            std::to_string(entry.leadSerial.size()) + ':' + entry.leadSerial + entry.leadLocation;
        const auto found = where_.emplace(key, history.leads.size());
        if (found.second) {
            history.leads.emplace_back();
            history.leads.back().serial = entry.leadSerial;
            history.leads.back().location = entry.leadLocation;
        }
        return history.leads[found.first->second];
    }

private:
    std::unordered_map<std::string, std::size_t> where_;
};

void count(LeadHistory& lead, const RecordEntry& entry) {
    if (entry.result == "ok") {
        ++lead.ok;
    } else if (entry.result == "current") {
        ++lead.current;
    } else {
        ++lead.failed;
    }
    lead.last = entry;
}

} // namespace

struct RecordSummer::Impl {
    std::size_t lastCount;
    std::string unitId;
    RecordHistory history;
    LeadIndex index;
    // Dropping the oldest from the front of a vector would move every entry kept, each line.
    std::deque<RecordEntry> last;
    std::deque<std::string> lastLines;
};

RecordSummer::RecordSummer(std::size_t lastCount, std::string unitId)
    : impl_(new Impl{lastCount, std::move(unitId), {}, {}, {}, {}}) {}

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
    if (!in.unitId.empty() && entry.unitId != in.unitId) {
        return;
    }
    ++in.history.entries;
    count(in.index.leadOf(in.history, entry), entry);
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
                              const std::string& unitId) {
    RecordSummer summer(lastCount, unitId);
    for (std::string line; std::getline(record, line);) {
        summer.add(line);
    }
    return summer.finish();
}

} // namespace pxr7
