#include "meter_version.h"

#include "bridge_identity.h"
#include "device_port.h"
#include "same_bridge.h"
#include "target_choice.h"
#include "version_query.h"

#include <thread>

namespace pxr7 {

namespace {

constexpr auto kRetryPeriod = std::chrono::milliseconds(250);

// Answered, not yet there, or never to be trusted (the lead cannot be told apart).
enum class Asked { Answered, NotYet, CannotTell };

Asked askOnce(const BridgeIdentity& lead, std::string& version) {
    const FindResult found = findSameBridge(lead);
    if (found.outcome == FindOutcome::Ambiguous) {
        return Asked::CannotTell;
    }
    if (found.outcome != FindOutcome::Found) {
        return Asked::NotYet;
    }
    BridgeIdentity expected = lead;
    expected.index = found.index;
    DevicePort port;
    if (openSameBridge(port, expected, kVersionQueryBaud) != OpenCheck::Opened) {
        return Asked::NotYet;
    }
    port.setLatencyTimer(kBenchLatencyMs);
    char text[kVersionTextSize];
    const bool answered = queryMeterVersion(port, text, ReplyReading::ExactFrame);
    port.close();
    if (answered) {
        version = text;
    }
    return answered ? Asked::Answered : Asked::NotYet;
}

} // namespace

VersionAfterRestart readVersionAfterRestart(const BridgeIdentity& lead,
                                            std::chrono::milliseconds wait, bool (*giveUp)()) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        VersionAfterRestart after;
        std::string version;
        const Asked asked = askOnce(lead, version);
        if (asked == Asked::Answered) {
            after.version = version;
            return after;
        }
        after.cannotTell = asked == Asked::CannotTell;
        if (after.cannotTell || std::chrono::steady_clock::now() >= deadline ||
            (giveUp != nullptr && giveUp())) {
            return after;
        }
        std::this_thread::sleep_for(kRetryPeriod);
    }
}

} // namespace pxr7
