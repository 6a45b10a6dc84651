#include "meter_version.h"

#include "bridge_identity.h"
#include "device_port.h"
#include "target_choice.h"
#include "version_query.h"

#include <thread>

namespace pxr7 {

namespace {

constexpr auto kRetryPeriod = std::chrono::milliseconds(250);

bool askOnce(const std::string& serialNumber, std::string& version) {
    const int index = findBridgeBySerial(serialNumber);
    if (index < 0) {
        return false;
    }
    DevicePort port;
    if (port.openAndConfigure(index, kVersionQueryBaud, FT_BITS_8, FT_STOP_BITS_1,
                              FT_PARITY_NONE) != FT_OK) {
        return false;
    }
    port.setLatencyTimer(kBenchLatencyMs);
    char text[kVersionTextSize];
    const bool answered = queryMeterVersion(port, text, ReplyReading::ExactFrame);
    port.close();
    if (answered) {
        version = text;
    }
    return answered;
}

} // namespace

std::optional<std::string> readVersionAfterRestart(const std::string& serialNumber,
                                                   std::chrono::milliseconds wait,
                                                   bool (*giveUp)()) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        std::string version;
        if (askOnce(serialNumber, version)) {
            return version;
        }
        if (std::chrono::steady_clock::now() >= deadline || (giveUp != nullptr && giveUp())) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(kRetryPeriod);
    }
}

} // namespace pxr7
