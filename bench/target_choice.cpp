#include "target_choice.h"

#include "bridge_texts.h"
#include "diagnosis.h"
#include "printable.h"

namespace pxr7 {

namespace {

CommandResult busyRefusal(const std::vector<BridgeReport>& reports) {
    for (const BridgeReport& report : reports) {
        if (report.state == BridgeState::Busy) {
            return failure(Outcome::Busy, "pxr7: bridge " + std::to_string(report.identity.index) +
                                              " " + describeBusy(report) + ".");
        }
    }
    return failure(Outcome::Busy, "pxr7: no meter lead could be opened.");
}

const BridgeReport* firstGone(const std::vector<BridgeReport>& reports) {
    for (const BridgeReport& report : reports) {
        if (report.state == BridgeState::Gone) {
            return &report;
        }
    }
    return nullptr;
}

// Several leads where one was wanted: a serial number they share needs --index instead.
CommandResult manyLeads(const std::vector<const BridgeReport*>& leads, const Selection& selection) {
    const std::string count = std::to_string(leads.size());
    if (!selection.serial.empty()) {
        return failure(Outcome::Ambiguous, "pxr7: " + count +
                                               " meter leads share the serial number " +
                                               printable(selection.serial) +
                                               ": say which with --index (pxr7 list shows them).");
    }
    return failure(Outcome::Ambiguous, "pxr7: " + count +
                                           " meter leads are connected: say which with --serial or "
                                           "--index.");
}

CommandResult noLead(const std::vector<BridgeReport>& reports, const Selection& selection) {
    if (!selection.selects()) {
        return failure(Outcome::NotAMeterLead,
                       "pxr7: no PXR7 meter lead is connected (an FT232R, 0403:6001, described "
                       "as \"Tavelin QVRX\" or \"FT232R USB UART\").");
    }
    if (reports.empty()) {
        return failure(Outcome::NotAMeterLead, "pxr7: no bridge " + selection.text() + ".");
    }
    const BridgeReport& chosen = reports.front();
    return failure(Outcome::NotAMeterLead, "pxr7: the bridge " + selection.text() +
                                               " is not a meter lead" +
                                               (chosen.state == BridgeState::NotAMeterLead
                                                    ? std::string("; it was left alone.")
                                                    : " (" + stateText(chosen) + ")."));
}

} // namespace

std::string Selection::text() const {
    return serial.empty() ? "at index " + std::to_string(index)
                          : "with serial number " + printable(serial);
}

std::vector<BridgeReport> surveyFor(const Selection& selection) {
    SurveyOptions survey;
    survey.onlyIndex = selection.index;
    survey.onlySerial = selection.serial;
    survey.prepareQuery = [](DevicePort& port) { port.setLatencyTimer(kBenchLatencyMs); };
    return surveyBridges(survey);
}

void locateLeads(std::vector<BridgeReport>& reports) {
    for (BridgeReport& report : reports) {
        if (isLeadReport(report) && !report.identity.location) {
            report.identity.location = readBridgeLocation(report.identity.index);
        }
    }
}

bool cannotBeToldApart(const BridgeReport& lead) {
    return !serialTellsApart(lead.identity) && !lead.identity.location;
}

CommandResult lookAlikeRefusal(const BridgeReport& lead) {
    return failure(Outcome::Ambiguous,
                   "pxr7: the lead on bridge " + std::to_string(lead.identity.index) +
                       " shares its serial number with another lead (or has none), and the "
                       "driver cannot tell where each is plugged in: nothing was done. Connect "
                       "it on its own and run the command again.");
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
    if (leads.size() == 1 && cannotBeToldApart(*leads.front())) {
        choice.result = lookAlikeRefusal(*leads.front());
    } else if (leads.size() == 1) {
        choice.target = leads.front();
    } else if (leads.size() > 1) {
        choice.result = manyLeads(leads, selection);
    } else if (anyBusy) {
        choice.result = busyRefusal(reports);
    } else if (const BridgeReport* gone = firstGone(reports)) {
        choice.result =
            failure(Outcome::PortError, "pxr7: bridge " + std::to_string(gone->identity.index) +
                                            " left the bus while it was looked at: "
                                            "reconnect it and run the command again.");
    } else {
        choice.result = noLead(reports, selection);
    }
    return choice;
}

CommandResult listOutcome(const std::vector<BridgeReport>& reports, const Selection& selection) {
    if (reports.empty()) {
        // With nothing asked for, list has said so and what to check already.
        return failure(Outcome::NotAMeterLead,
                       selection.selects() ? "pxr7: no bridge " + selection.text() + "." : "");
    }
    for (const BridgeReport& report : reports) {
        if (report.state != BridgeState::Busy) {
            return CommandResult{};
        }
    }
    return failure(Outcome::Busy, reports.size() == 1
                                      ? "pxr7: the only bridge could not be opened (see above)."
                                      : "pxr7: none of the bridges could be opened (see above).");
}

} // namespace pxr7
