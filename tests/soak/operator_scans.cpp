#include "operator_scans.h"

#include "json_text.h"

#include <unistd.h>

namespace soak {

namespace {

constexpr long kLongestLookMs = 1500;
constexpr long kAskedAgainMs = 2500;
constexpr long kNoMeterYetMs = 300;

} // namespace

void OperatorScans::look(const std::string& output, long nowMs) {
    if (!badge_) {
        badge_ = true;
        send(std::string("OP:") + kSoakOperator + "\n");
    }
    for (std::size_t end = output.find('\n', read_); end != std::string::npos;
         end = output.find('\n', read_)) {
        take(output.substr(read_, end - read_), nowMs);
        read_ = end + 1;
    }
    for (auto& entry : lanes_) {
        if (entry.second.asks && entry.second.dueMs >= 0 && nowMs >= entry.second.dueMs) {
            scan(entry.second, nowMs);
        }
    }
}

void OperatorScans::take(const std::string& line, long nowMs) {
    const pxr7::JsonValue event = pxr7::parseJsonLine(line);
    if (!event.is_object() || !event.contains("lane") || !event["lane"].is_number_integer()) {
        return;
    }
    const std::string kind = pxr7::textOf(event.value("event", pxr7::JsonValue()));
    const long number = event["lane"].get<long>();
    if (kind == "lane_gone") {
        lanes_.erase(number);
        return;
    }
    if (kind.rfind("unit_id", 0) == 0) {
        return; // about ids, not about what the lane is doing
    }
    LaneSeen& lane = lanes_[number];
    lane.serial = pxr7::textOf(event.value("serial", pxr7::JsonValue()));
    lane.name = pxr7::textOf(event.value("lane_name", pxr7::JsonValue()));
    const bool asks = kind == "lane_state" &&
                      pxr7::textOf(event.value("state", pxr7::JsonValue())) == "needs_unit_id";
    if (asks && !lane.asks) {
        lane.dueMs = nowMs + static_cast<long>(dice_() % (kLongestLookMs + 1));
    }
    lane.asks = asks || (lane.asks && kind != "meter_arrived" && kind != "lane_state");
}

// The meter on the fixture now, as the operator sees it: none between two windows. Twins
// without a name are told apart by which one is on the bus; with both there, none is scanned.
void OperatorScans::scan(LaneSeen& lane, long nowMs) {
    std::string id;
    int found = 0;
    for (const LeadPlan& lead : plan_.leads) {
        const bool here = lane.name.empty() ? lead.serial == lane.serial && lead.label.empty()
                                            : lead.label == lane.name;
        if (!here || nowMs < lead.onBusFromMs || nowMs >= lead.onBusUntilMs) {
            continue;
        }
        ++found;
        for (std::size_t w = 0; w < lead.windows.size(); ++w) {
            if (lead.windows[w].first <= nowMs && nowMs < lead.windows[w].second) {
                id = unitIdOf(lead.bridge, static_cast<int>(w));
            }
        }
    }
    if (found != 1 || id.empty()) {
        lane.dueMs = nowMs + kNoMeterYetMs;
        return;
    }
    send("LANE:" + (lane.name.empty() ? lane.serial : lane.name) + "\n" + id + "\n");
    lane.dueMs = nowMs + kAskedAgainMs;
}

void OperatorScans::send(const std::string& text) {
    if (input_ >= 0) {
        // The station may have ended: a write it does not read is no failure of the soak.
        const ssize_t wrote = write(input_, text.data(), text.size());
        (void)wrote;
    }
}

} // namespace soak
