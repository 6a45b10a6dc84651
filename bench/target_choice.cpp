#include "target_choice.h"

#include "bridge_texts.h"
#include "diagnosis.h"

namespace pxr7 {

namespace {

CommandResult busyRefusal(const std::vector<BridgeReport>& reports) {
    for (const BridgeReport& report : reports) {
        if (report.state == BridgeState::Busy) {
            return failure(EXIT_BUSY, "pxr7: bridge " + std::to_string(report.identity.index) +
                                          " " + describeBusy(report.status) + ".");
        }
    }
    return failure(EXIT_BUSY, "pxr7: no meter lead could be opened.");
}

const BridgeReport* firstGone(const std::vector<BridgeReport>& reports) {
    for (const BridgeReport& report : reports) {
        if (report.state == BridgeState::Gone) {
            return &report;
        }
    }
    return nullptr;
}

} // namespace

std::string Selection::text() const {
    return serial.empty() ? "at index " + std::to_string(index) : "with serial number " + serial;
}

std::vector<BridgeReport> surveyFor(const Selection& selection) {
    SurveyOptions survey;
    survey.onlyIndex = selection.index;
    survey.onlySerial = selection.serial;
    survey.prepareQuery = [](DevicePort& port) { port.setLatencyTimer(kBenchLatencyMs); };
    return surveyBridges(survey);
}

TargetChoice chooseTarget(const std::vector<BridgeReport>& reports, const Selection& selection) {
    TargetChoice choice;
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
    } else if (leads.size() > 1) {
        choice.result = failure(EXIT_AMBIGUOUS, "pxr7: " + std::to_string(leads.size()) +
                                                    " meter leads are connected: say which with "
                                                    "--serial or --index.");
    } else if (anyBusy) {
        choice.result = busyRefusal(reports);
    } else if (const BridgeReport* gone = firstGone(reports)) {
        choice.result =
            failure(EXIT_PORT_ERROR, "pxr7: bridge " + std::to_string(gone->identity.index) +
                                         " left the bus while it was looked at: "
                                         "reconnect it and run the command again.");
    } else if (!selection.selects()) {
        choice.result = failure(EXIT_NOT_A_METER_LEAD,
                                "pxr7: no PXR7 meter lead is connected (an FT232R, 0403:6001, "
                                "described as \"Tavelin QVRX\" or \"FT232R USB UART\").");
    } else if (reports.empty()) {
        choice.result = failure(EXIT_NOT_A_METER_LEAD, "pxr7: no bridge " + selection.text() + ".");
    } else {
        choice.result = failure(EXIT_NOT_A_METER_LEAD,
                                "pxr7: the bridge " + selection.text() +
                                    " is not a meter lead: " + stateText(reports.front()) + ".");
    }
    return choice;
}

} // namespace pxr7
