#include "record_lines.h"

#include "record_json.h"

#include <cstdio>
#include <cstdlib>

namespace soak {

namespace {

std::string textOf(const pxr7::FlatObject& object, const char* key) {
    const auto found = object.find(key);
    return found == object.end() || found->second.kind == pxr7::FlatValue::Kind::Literal
               ? std::string()
               : found->second.text;
}

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
        pxr7::FlatObject object;
        if (!pxr7::parseFlatObject(s.text, object) || textOf(object, "result").empty()) {
            unreadable.push_back(s.text);
            continue;
        }
        RecordLine line;
        line.text = s.text;
        line.serial = textOf(object, "lead_serial");
        line.location = textOf(object, "lead_location");
        line.result = textOf(object, "result");
        line.versionBefore = textOf(object, "version_before");
        line.versionAfter = textOf(object, "version_after");
        line.attempts = std::atol(textOf(object, "attempts").c_str());
        line.recordsSent = std::atol(textOf(object, "records_sent").c_str());
        line.finishMs = s.seenMs;
        line.startMs =
            s.seenMs - static_cast<long>(std::atof(textOf(object, "duration_s").c_str()) * 1000);
        line.bridges = leadsOf(plan, line);
        lines.push_back(line);
    }
    return lines;
}

} // namespace soak
