#include "record_lines.h"

#include "record_json.h"

#include <cstdio>

namespace soak {

namespace {

// The leads with the line's serial number; where several share it, the one at its location,
// or all of them when the line has none.
std::vector<int> leadsOf(const BenchPlan& plan, const RecordLine& line) {
    std::vector<int> same, here;
    for (const LeadPlan& lead : plan.leads) {
        if (lead.serial == line.serial) {
            same.push_back(lead.bridge);
            if (locationOf(lead.bridge) == line.location) {
                here.push_back(lead.bridge);
            }
        }
    }
    return same.size() > 1 && !line.location.empty() ? here : same;
}

} // namespace

std::string locationOf(int bridge) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X",
                  0x01000000u | static_cast<unsigned>(bridge + 1) << 20);
    return text;
}

std::vector<RecordLine> readRecordLines(const BenchPlan& plan, const std::vector<SeenLine>& seen,
                                        std::vector<std::string>& unreadable) {
    std::vector<RecordLine> lines;
    for (const SeenLine& s : seen) {
        pxr7::RecordEntry entry;
        std::string host;
        if (!pxr7::parseRecordLine(s.text, entry, host)) {
            unreadable.push_back(s.text);
            continue;
        }
        RecordLine line;
        line.text = s.text;
        line.serial = entry.leadSerial;
        line.location = entry.leadLocation;
        line.result = entry.result;
        line.versionBefore = entry.versionBefore;
        line.versionAfter = entry.versionAfter;
        line.attempts = entry.attempts;
        line.recordsSent = entry.recordsSent;
        line.unitId = entry.unitId;
        line.operatorName = entry.operatorName;
        line.finishMs = s.seenMs;
        line.startMs = s.seenMs - static_cast<long>(entry.seconds * 1000);
        line.bridges = leadsOf(plan, line);
        lines.push_back(line);
    }
    return lines;
}

} // namespace soak
