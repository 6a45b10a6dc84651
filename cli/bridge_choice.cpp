#include "bridge_choice.h"

#include "commands.h"
#include "diagnosis.h"
#include "exit_codes.h"
#include "json_writer.h"
#include "text_output.h"

#include <cstdio>

namespace pxr7 {

namespace {

std::string changesText(const std::vector<EepromChange>& changes) {
    std::string text;
    for (const EepromChange& change : changes) {
        text += (text.empty() ? "" : ", ") + change.field + " " + printable(change.before) +
                " -> " + printable(change.after);
    }
    return text;
}

std::string selectorText(const Options& options) {
    return options.serial.empty() ? "at index " + std::to_string(options.index)
                                  : "with serial number " + options.serial;
}

} // namespace

std::vector<BridgeReport> surveyForCommand(const Options& options) {
    SurveyOptions survey;
    survey.onlyIndex = options.index;
    survey.onlySerial = options.serial;
    survey.prepareQuery = [](DevicePort& port) { port.setLatencyTimer(kCommandLineLatencyMs); };
    return surveyBridges(survey);
}

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
        return "meter lead, no answer (a meter in its boot loader answers nothing)";
    case BridgeState::Busy:
        return "busy: " + describeBusy(report.status);
    case BridgeState::Gone:
        return "gone: it left the bus while it was looked at";
    case BridgeState::EepromUnreadable:
        return "meter lead, EEPROM unreadable: its settings are unknown" +
               (report.version.empty() ? std::string()
                                       : "; meter answered: " + printable(report.version));
    case BridgeState::NeedsSetup:
        return "lead needs setup: " + changesText(report.changes);
    case BridgeState::NotAMeterLead:
        return "not a meter lead: left alone";
    case BridgeState::Unusable:
        return report.eepromCheck == DevicePort::EepromCheck::StringsCut
                   ? "not usable: its EEPROM strings come unterminated; left alone"
                   : "not usable: its EEPROM holds another VID/PID; left alone";
    }
    return "";
}

std::string bridgeJson(const BridgeReport& report) {
    JsonObject bridge;
    bridge.add("index", report.identity.index)
        .add("serial", report.identity.serialNumber)
        .add("description", report.identity.description)
        .add("state", stateCode(report.state))
        .add("version",
             report.state == BridgeState::MeterAnswered ? report.version.c_str() : nullptr);
    std::string changes = "[";
    for (const EepromChange& change : report.changes) {
        JsonObject item;
        item.add("field", change.field).add("before", change.before).add("after", change.after);
        changes += (changes.size() > 1 ? "," : "") + item.nested();
    }
    bridge.addRaw("changes", changes + "]");
    bridge.add("status", static_cast<long long>(report.status));
    return bridge.nested();
}

void printBridgeTable(const std::vector<BridgeReport>& reports) {
    std::printf("%-5s  %-16s  %-20s  %s\n", "Index", "Serial", "Description", "State");
    for (const BridgeReport& report : reports) {
        const std::string serial =
            report.identity.serialNumber.empty() ? "-" : printable(report.identity.serialNumber);
        const std::string description =
            report.identity.description.empty() ? "-" : printable(report.identity.description);
        std::printf("%-5d  %-16s  %-20s  %s\n", report.identity.index, serial.c_str(),
                    description.c_str(), stateText(report).c_str());
    }
    std::fflush(stdout);
}

TargetChoice chooseTarget(const std::vector<BridgeReport>& reports, const Options& options) {
    TargetChoice choice;
    const bool selecting = !options.serial.empty() || options.index >= 0;
    std::vector<const BridgeReport*> leads;
    bool anyBusy = false;
    for (const BridgeReport& report : reports) {
        anyBusy = anyBusy || report.state == BridgeState::Busy;
        if (isLeadReport(report)) {
            leads.push_back(&report);
        }
    }
    if (leads.size() == 1) {
        choice.target = leads.front();
        return choice;
    }
    if (leads.size() > 1) {
        choice.exitCode = EXIT_AMBIGUOUS;
        choice.problem = "pxr7: " + std::to_string(leads.size()) +
                         " meter leads are connected: say which with --serial or --index.";
        return choice;
    }
    if (anyBusy) {
        choice.exitCode = EXIT_BUSY;
        choice.problem = "pxr7: no meter lead could be opened: a bridge " +
                         describeBusy(reports.front().status) + ".";
        for (const BridgeReport& report : reports) {
            if (report.state == BridgeState::Busy) {
                choice.problem = "pxr7: bridge " + std::to_string(report.identity.index) + " " +
                                 describeBusy(report.status) + ".";
                break;
            }
        }
        return choice;
    }
    for (const BridgeReport& report : reports) {
        if (report.state == BridgeState::Gone) {
            choice.exitCode = EXIT_PORT_ERROR;
            choice.problem = "pxr7: bridge " + std::to_string(report.identity.index) +
                             " left the bus while it was looked at: reconnect it and run the "
                             "command again.";
            return choice;
        }
    }
    choice.exitCode = EXIT_NOT_A_METER_LEAD;
    if (selecting) {
        choice.problem = reports.empty()
                             ? "pxr7: no bridge " + selectorText(options) + "."
                             : "pxr7: the bridge " + selectorText(options) +
                                   " is not a meter lead: " + stateText(reports.front()) + ".";
    } else {
        choice.problem = "pxr7: no PXR7 meter lead is connected (an FT232R, 0403:6001, "
                         "described as \"Tavelin QVRX\" or \"FT232R USB UART\").";
    }
    return choice;
}

} // namespace pxr7
