// pxr7 upgrade: chooses the meter lead (or every lead with --all), sets a lead up if it needs
// it, shows the meters' versions and the warning, asks, runs one lane per meter, then reports
// each meter's verified version.
#include "commands.h"
#include "confirm.h"
#include "dialog_texts.h"
#include "firmware_image.h"
#include "json_writer.h"
#include "lane_view.h"
#include "lead_setup_steps.h"
#include "messages.h"
#include "printable.h"
#include "record.h"
#include "run_report.h"
#include "setup_flow.h"
#include "stop_signals.h"
#include "terminal.h"
#include "terminal_caps.h"
#include "unit_ids.h"
#include "upgrade_plan.h"

namespace pxr7 {

namespace {

int finish(const Options& options, const std::vector<MeterRun>& runs, int exitCode) {
    logRuns(options, runs, exitCode);
    if (options.json) {
        JsonObject result;
        result.add("event", "result").add("command", "upgrade");
        if (options.all) {
            std::vector<JsonObject> meters(runs.size());
            for (std::size_t i = 0; i < runs.size(); ++i) {
                addRunFields(meters[i], runs[i]);
            }
            result.add("exit_code", exitCode)
                .add("error", exitCode == EXIT_OK ? nullptr : errorWordFor(exitCode))
                .add("meters", meters);
        } else {
            MeterRun run = runs.empty() ? MeterRun() : runs.front();
            run.exitCode = exitCode;
            addRunFields(result, run);
        }
        result.print();
    } else if (options.all && !runs.empty()) {
        printSummary(runs);
    } else if (!runs.empty()) {
        printRunResult(runs.front());
    }
    return exitCode;
}

int refuse(const Options& options, const CommandResult& result) {
    printFailure(result);
    return finish(options, {}, result.exitCode);
}

// What the warning dialog shows before an upgrade: the meters' versions and the warning.
void showWarning(const Options& options, const std::vector<BridgeReport>& leads) {
    if (options.json) {
        for (const BridgeReport& lead : leads) {
            const bool answered = lead.state == BridgeState::MeterAnswered;
            JsonObject()
                .add("event", "meter")
                .add("present", answered)
                .add("serial", lead.identity.serialNumber)
                .add("index", lead.identity.index)
                .add("version", answered ? lead.version.c_str() : nullptr)
                .print();
        }
        return;
    }
    Terminal& out = terminal();
    out.line(LineKind::Info, options.all ? "Meters to upgrade:" : PXR7_CONNECTED_VERSION_LABEL);
    for (const BridgeReport& lead : leads) {
        const std::string version = lead.state == BridgeState::MeterAnswered
                                        ? printable(lead.version)
                                        : PXR7_NO_DEVICES_PRESENT;
        out.line(LineKind::Info, options.all
                                     ? "  " + printable(lead.identity.serialNumber) + " (bridge " +
                                           std::to_string(lead.identity.index) + "): " + version
                                     : "  " + version);
    }
    if (!options.all) {
        out.line(LineKind::Info,
                 std::string(PXR7_UPGRADABLE_VERSIONS_LABEL) + ":\n  " + PXR7_ANY_VERSION);
    }
    out.line(LineKind::Info,
             std::string("\n") + PXR7_WARNING_LABEL + "\n" + PXR7_WARNING_TEXT + "\n");
}

// The leads that need setup: set up where the person agreed (--setup, or yes to the question
// on a terminal) and looked at again; otherwise left as they are with the command to run.
void setUpLeads(const Options& options, UpgradePlan& plan, const UpgradeRequest& request) {
    const SetupConsent consent = upgradeSetupConsent(options);
    for (BridgeReport lead : plan.setUp) {
        if (consent == SetupConsent::None) {
            showChanges(options, lead, false);
            plan.settled.push_back(needsSetupRun(lead));
            continue;
        }
        const CommandResult setup = runLeadSetup(options, lead, consent);
        MeterRun run = meterRunFor(lead);
        if (setup.ok() && !surveyLeadAgain(lead)) {
            run.exitCode = EXIT_BRIDGE_REPROGRAMMED;
            run.diagnosis = "pxr7: the lead did not come back after its setup: reconnect it and "
                            "run upgrade again.";
        } else if (!setup.ok()) {
            run.exitCode = setup.exitCode;
            run.diagnosis = setup.diagnosis;
        }
        if (run.exitCode != EXIT_OK) {
            plan.settled.push_back(run);
            continue;
        }
        const UpgradePlan again = planUpgrade({lead}, request);
        plan.upgrade.insert(plan.upgrade.end(), again.upgrade.begin(), again.upgrade.end());
        plan.settled.insert(plan.settled.end(), again.settled.begin(), again.settled.end());
    }
    plan.setUp.clear();
}

bool nothingToSend(const UpgradePlan& plan) {
    if (!plan.upgrade.empty()) {
        return false;
    }
    for (const MeterRun& run : plan.settled) {
        if (run.exitCode == EXIT_OK) {
            terminal().line(LineKind::Info, "The meter " + printable(run.serial) +
                                                " already runs " + printable(run.versionAfter) +
                                                ": nothing to do.");
        }
    }
    return true;
}

int upgradeMeters(const Options& options, const UpgradePlan& plan) {
    showWarning(options, plan.upgrade);
    if (embeddedImageIsStandIn()) {
        terminal().line(LineKind::Warning, kStandInImageNotice);
    }
    switch (askToConfirm(options, options.all ? "Upgrade all of them now?" : "Upgrade now?")) {
    case Answer::CannotAsk:
        return refuse(options,
                      failure(EXIT_USAGE, "pxr7: --json without --yes needs a terminal to ask on"));
    case Answer::No:
        terminal().line(LineKind::Error, "Upgrade cancelled.");
        return finish(options, {}, EXIT_CANCELLED);
    case Answer::Yes:
        break;
    }
    // Before DTR is first asserted: from here a stop lets every meter go and closes its port.
    installStopSignals();
    RunSettings settings;
    settings.verify = !options.noVerify;
    settings.declaredVersion = embeddedImageVersion();
    LaneView view(plan.upgrade, options.all);
    UnitLedger ledger(recordPathFor(options), "upgrade");
    const OperatorName who(withoutBlanks(options.operatorName));
    ledger.setOperator(&who);
    std::vector<MeterRun> runs = runLanes(plan.upgrade, settings, view, stopCheck(), ledger);
    view.finish();
    if (ledger.failing()) {
        warnRecordProblem(recordPathFor(options), ledger.lastProblem());
    }
    recordCurrent(options, plan.settled);
    const int exitCode = combinedExitCode(runs);
    if (isStopSignal(exitCode)) {
        terminal().line(LineKind::Error, "Upgrade interrupted.");
    }
    runs.insert(runs.end(), plan.settled.begin(), plan.settled.end());
    return finish(options, runs, combinedExitCode(runs));
}

} // namespace

int runUpgradeCommand(const Options& options) {
    if (options.json && !options.assumeYes && !stdinIsTerminal()) {
        return refuse(options,
                      failure(EXIT_USAGE, "pxr7: --json without --yes needs a terminal to ask on"));
    }
    if (!loadDriver(options)) {
        return finish(options, {}, EXIT_NO_DRIVER);
    }
    const UpgradeRequest request{selectionOf(options), options.skipIfCurrent,
                                 embeddedImageVersion()};
    std::vector<BridgeReport> reports = surveyFor(request.selection);
    locateLeads(reports);
    describeBridges(reports);
    UpgradePlan plan = planUpgrade(reports, request);
    if (plan.refusal.exitCode == EXIT_AMBIGUOUS && !options.json) {
        printBridgeTable(reports);
    }
    if (!plan.refusal.ok()) {
        return refuse(options, plan.refusal);
    }
    setUpLeads(options, plan, request);
    if (nothingToSend(plan)) {
        recordCurrent(options, plan.settled);
        return finish(options, plan.settled, combinedExitCode(plan.settled));
    }
    return upgradeMeters(options, plan);
}

} // namespace pxr7
