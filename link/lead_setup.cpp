#include "lead_setup.h"

#include "bridge_identity.h"
#include "device_port.h"
#include "version_query.h"

#include <thread>

namespace pxr7 {

namespace {

constexpr auto kReturnPollPeriod = std::chrono::milliseconds(100);
// A cycled bridge may still answer for a moment before it drops off the bus.
constexpr auto kCycleSettle = std::chrono::milliseconds(250);

// Opens the lead at index the way the version query does; false if it cannot be.
bool openLead(DevicePort& port, int index) {
    return port.openAndConfigure(index, kVersionQueryBaud, FT_BITS_8, FT_STOP_BITS_1,
                                 FT_PARITY_NONE) == FT_OK;
}

SetupResult resultOfInspection(DevicePort::EepromCheck check) {
    switch (check) {
    case DevicePort::EepromCheck::Right:
        return SetupResult::AlreadyRight;
    case DevicePort::EepromCheck::StringsCut:
    case DevicePort::EepromCheck::ForeignIds:
        return SetupResult::Unusable;
    case DevicePort::EepromCheck::ReadFailed:
        return SetupResult::Busy;
    default:
        return SetupResult::Done;
    }
}

} // namespace

int waitForLead(const std::string& serialNumber, std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const int index = findBridgeBySerial(serialNumber);
        if (index >= 0 || std::chrono::steady_clock::now() >= deadline) {
            return index;
        }
        std::this_thread::sleep_for(kReturnPollPeriod);
    }
}

SetupReport setUpLead(const std::string& serialNumber, std::chrono::milliseconds returnWait) {
    SetupReport report;
    const int index = findBridgeBySerial(serialNumber);
    if (index < 0) {
        return report;
    }
    DevicePort port;
    if (!openLead(port, index)) {
        report.result = SetupResult::Busy;
        return report;
    }
    report.result = resultOfInspection(port.inspectEeprom());
    if (report.result != SetupResult::Done) {
        port.close();
        return report;
    }
    report.changes = eepromChangesNeeded(port.eeprom);
    port.ensureBridgeConfig(true);
    port.close();
    if (port.eepromCheck == DevicePort::EepromCheck::ProgramFailed) {
        report.result = SetupResult::ProgramFailed;
        return report;
    }
    std::this_thread::sleep_for(kCycleSettle);
    const int returned = waitForLead(serialNumber, returnWait);
    if (returned < 0) {
        report.result = SetupResult::DidNotReturn;
        return report;
    }
    DevicePort again;
    if (!openLead(again, returned)) {
        report.result = SetupResult::DidNotReturn;
        return report;
    }
    const DevicePort::EepromCheck check = again.inspectEeprom();
    again.close();
    report.result =
        check == DevicePort::EepromCheck::Right ? SetupResult::Done : SetupResult::DidNotHold;
    return report;
}

} // namespace pxr7
