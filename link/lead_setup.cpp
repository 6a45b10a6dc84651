#include "lead_setup.h"

#include "bridge_library.h"
#include "device_port.h"
#include "version_query.h"

#include <thread>

namespace pxr7 {

namespace {

constexpr auto kReturnPollPeriod = std::chrono::milliseconds(100);
// A cycled bridge may still answer for a moment before it drops off the bus.
constexpr auto kCycleSettle = std::chrono::milliseconds(250);

SetupResult resultOfOpen(OpenCheck check) {
    switch (check) {
    case OpenCheck::Gone:
        return SetupResult::NotFound;
    case OpenCheck::NotTheSame:
        return SetupResult::NotTheSame;
    case OpenCheck::Busy:
        return SetupResult::Busy;
    default:
        return SetupResult::Done;
    }
}

SetupResult resultOfInspection(DevicePort::EepromCheck check) {
    switch (check) {
    case DevicePort::EepromCheck::Right:
        return SetupResult::AlreadyRight;
    case DevicePort::EepromCheck::StringsCut:
    case DevicePort::EepromCheck::ForeignIds:
        return SetupResult::Unusable;
    case DevicePort::EepromCheck::ReadFailed:
        return SetupResult::EepromUnreadable;
    default:
        return SetupResult::Done;
    }
}

// Programs the open port's corrections and cycles it; Done if both went through.
SetupResult program(DevicePort& port, SetupReport& report) {
    report.changes = eepromChangesNeeded(port.eeprom);
    port.ensureBridgeConfig(true);
    const DevicePort::EepromCheck check = port.eepromCheck;
    if (check == DevicePort::EepromCheck::CycleFailed) {
        report.reason = bridgeFailureReason(); // before anything else can fail in this thread
    }
    port.close();
    switch (check) {
    case DevicePort::EepromCheck::ProgramFailed:
        return SetupResult::ProgramFailed;
    case DevicePort::EepromCheck::CycleFailed:
        return SetupResult::CycleFailed;
    default:
        return SetupResult::Done;
    }
}

// The cycled lead, once back: whether its EEPROM holds the settings.
SetupResult confirm(const BridgeIdentity& lead, std::chrono::milliseconds returnWait) {
    std::this_thread::sleep_for(kCycleSettle);
    const FindResult returned = waitForSameLead(lead, returnWait);
    if (returned.outcome == FindOutcome::Ambiguous) {
        return SetupResult::CannotTellApart;
    }
    DevicePort again;
    if (returned.outcome != FindOutcome::Found ||
        again.openAndConfigure(returned.index, kVersionQueryBaud, FT_BITS_8, FT_STOP_BITS_1,
                               FT_PARITY_NONE) != FT_OK) {
        return SetupResult::DidNotReturn;
    }
    const DevicePort::EepromCheck check = again.inspectEeprom();
    again.close();
    return check == DevicePort::EepromCheck::Right ? SetupResult::Done : SetupResult::DidNotHold;
}

} // namespace

FindResult waitForSameLead(const BridgeIdentity& lead, std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const FindResult found = findSameBridge(lead);
        if (found.outcome == FindOutcome::Found || std::chrono::steady_clock::now() >= deadline) {
            return found;
        }
        std::this_thread::sleep_for(kReturnPollPeriod);
    }
}

SetupReport setUpLead(const BridgeIdentity& lead, std::chrono::milliseconds returnWait) {
    SetupReport report;
    DevicePort port;
    report.result = resultOfOpen(openSameBridge(port, lead, kVersionQueryBaud));
    if (report.result != SetupResult::Done) {
        return report;
    }
    report.result = resultOfInspection(port.inspectEeprom());
    if (report.result == SetupResult::Done && !serialTellsApart(lead) && !lead.location) {
        // Once restarted it could not be told from its look-alikes: a check of the wrong lead
        // would be a guess, so nothing is written.
        report.result = SetupResult::CannotTellApart;
    }
    if (report.result != SetupResult::Done) {
        port.close();
        return report;
    }
    report.result = program(port, report);
    if (report.result == SetupResult::Done) {
        report.result = confirm(lead, returnWait);
    }
    return report;
}

} // namespace pxr7
