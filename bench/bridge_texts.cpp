#include "bridge_texts.h"

#include "diagnosis.h"
#include "printable.h"
#include "upgrade_plan.h"

namespace pxr7 {

std::string changesText(const std::vector<EepromChange>& changes) {
    std::string text;
    for (const EepromChange& change : changes) {
        text += (text.empty() ? "" : ", ") + change.field + " " + printable(change.before) +
                " -> " + printable(change.after);
    }
    return text;
}

namespace {

// A factory-fresh FT232R is a new meter lead or somebody's USB-serial adapter: only the person
// knows which, so the text says both and the command that would set it up.
std::string needsSetupText(const BridgeReport& report) {
    const std::string command = setupCommandFor(report);
    if (sameDescription(report.identity.description, kFactoryBridgeDescription)) {
        return std::string(kFactoryFreshText) + "; if it is the meter's lead: " + command;
    }
    return "lead needs setup (" + changesText(report.changes) + "): " + command;
}

} // namespace

const char* stateCode(BridgeState state) {
    switch (state) {
    case BridgeState::MeterAnswered:
        return "meter";
    case BridgeState::NoAnswer:
        return "no_answer";
    case BridgeState::Busy:
        return "busy";
    case BridgeState::Gone:
        return "gone";
    case BridgeState::EepromUnreadable:
        return "eeprom_unreadable";
    case BridgeState::NeedsSetup:
        return "needs_setup";
    case BridgeState::NotAMeterLead:
        return "not_a_meter_lead";
    case BridgeState::Unusable:
        return "unusable";
    }
    return "unknown";
}

std::string stateText(const BridgeReport& report) {
    switch (report.state) {
    case BridgeState::MeterAnswered:
        return "meter answered: " + printable(report.version);
    case BridgeState::NoAnswer:
        return report.replyNotAVersion
                   ? "meter lead, its meter replies but not with its version (a NAK or garbled "
                     "bytes)"
                   : "meter lead, no answer (a meter in its boot loader answers nothing)";
    case BridgeState::Busy:
        return "busy: " + describeBusy(report);
    case BridgeState::Gone:
        return "gone: it left the bus while it was looked at";
    case BridgeState::EepromUnreadable:
        return "meter lead, EEPROM unreadable: its settings are unknown" +
               (report.version.empty() ? std::string()
                                       : "; meter answered: " + printable(report.version));
    case BridgeState::NeedsSetup:
        return needsSetupText(report);
    case BridgeState::NotAMeterLead:
        return "not a meter lead: left alone";
    case BridgeState::Unusable:
        return report.eepromCheck == DevicePort::EepromCheck::StringsCut
                   ? "not usable: its EEPROM strings come unterminated; left alone"
                   : "not usable: its EEPROM holds another VID/PID; left alone";
    }
    return "";
}

} // namespace pxr7
