#include "history.h"

#include "record_json.h"

namespace pxr7 {

namespace {

LeadHistory& leadOf(RecordHistory& history, const RecordEntry& entry) {
    for (LeadHistory& lead : history.leads) {
        if (lead.serial == entry.leadSerial && lead.location == entry.leadLocation) {
            return lead;
        }
    }
    history.leads.emplace_back();
    history.leads.back().serial = entry.leadSerial;
    history.leads.back().location = entry.leadLocation;
    return history.leads.back();
}

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

RecordHistory summariseRecord(std::istream& record, std::size_t lastCount) {
    RecordHistory history;
    for (std::string line; std::getline(record, line);) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) {
            continue;
        }
        RecordEntry entry;
        std::string host;
        if (!parseRecordLine(line, entry, host)) {
            ++history.unreadable;
            continue;
        }
        ++history.entries;
        count(leadOf(history, entry), entry);
        if (lastCount > 0) {
            if (history.last.size() == lastCount) {
                history.last.erase(history.last.begin());
            }
            history.last.push_back(entry);
        }
    }
    return history;
}

} // namespace pxr7
