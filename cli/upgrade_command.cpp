// pxr7 upgrade: chooses the meter lead, sets it up if it needs it, shows the meter's version
// and the warning, asks, runs the transfer, then asks the restarted meter for its version.
#include "bridge_choice.h"
#include "commands.h"
#include "confirm.h"
#include "console_host.h"
#include "dialog_texts.h"
#include "exit_codes.h"
#include "json_writer.h"
#include "lead_setup_flow.h"
#include "meter_upgrade.h"
#include "progress_line.h"
#include "progress_view.h"
#include "stop_signals.h"
#include "text_output.h"
#include "upgrade.h"
#include "upgrade_all.h"

#include <chrono>
#include <cstdio>

namespace pxr7 {

namespace {

using RunSummary = MeterRun;

int finish(const Options& options, const RunSummary& run) {
    logRun(options, run);
    if (options.json) {
        JsonObject result;
        result.add("event", "result").add("command", "upgrade");
        addRunFields(result, run);
        result.print();
    }
    return run.exitCode;
}

int usageError(const Options& options, RunSummary& run, const char* what) {
    std::fprintf(stderr, "pxr7: %s\nTry 'pxr7 --help'.\n", what);
    run.exitCode = EXIT_USAGE;
    return finish(options, run);
}

// What the warning dialog shows before an upgrade: the meter's version and the warning.
void showWarning(const Options& options, const BridgeReport& lead) {
    const bool answered = lead.state == BridgeState::MeterAnswered;
    if (options.json) {
        JsonObject()
            .add("event", "meter")
            .add("present", answered)
            .add("serial", lead.identity.serialNumber)
            .add("index", lead.identity.index)
            .add("version", answered ? lead.version.c_str() : nullptr)
            .print();
        return;
    }
    std::printf("%s\n  %s\n", PXR7_CONNECTED_VERSION_LABEL,
                answered ? printable(lead.version).c_str() : PXR7_NO_DEVICES_PRESENT);
    std::printf("%s:\n  %s\n\n", PXR7_UPGRADABLE_VERSIONS_LABEL, PXR7_ANY_VERSION);
    std::printf("%s\n%s\n\n", PXR7_WARNING_LABEL, PXR7_WARNING_TEXT);
    std::fflush(stdout);
}

// The lead again after its setup: its meter's version, and where it is now.
bool surveyAgain(const std::string& serial, BridgeReport& lead) {
    SurveyOptions survey;
    survey.onlySerial = serial;
    const std::vector<BridgeReport> reports = surveyBridges(survey);
    if (reports.empty() || !isLeadReport(reports.front())) {
        return false;
    }
    lead = reports.front();
    return true;
}

} // namespace

int runUpgradeCommand(const Options& options) {
    const auto started = std::chrono::steady_clock::now();
    RunSummary run;
    if (options.json && !options.assumeYes && !stdinIsTerminal()) {
        return usageError(options, run, "--json without --yes needs a terminal to ask on");
    }
    if (!loadDriver(options)) {
        run.exitCode = EXIT_NO_DRIVER;
        return finish(options, run);
    }
    const std::vector<BridgeReport> reports = surveyForCommand(options);
    if (options.all) {
        return runUpgradeAll(options, reports);
    }
    const TargetChoice choice = chooseTarget(reports, options);
    if (choice.target == nullptr) {
        if (choice.exitCode == EXIT_AMBIGUOUS && !options.json) {
            printBridgeTable(reports);
        }
        printDiagnosis(choice.problem);
        run.exitCode = choice.exitCode;
        return finish(options, run);
    }
    BridgeReport lead = *choice.target;
    run.serial = lead.identity.serialNumber;
    if (lead.state == BridgeState::NeedsSetup) {
        run.exitCode = runLeadSetup(options, lead);
        if (run.exitCode == EXIT_OK && !surveyAgain(run.serial, lead)) {
            printDiagnosis("pxr7: the lead did not come back after its setup: reconnect it and "
                           "run upgrade again.");
            run.exitCode = EXIT_BRIDGE_REPROGRAMMED;
        }
        if (run.exitCode != EXIT_OK) {
            return finish(options, run);
        }
    }
    if (lead.state == BridgeState::MeterAnswered) {
        run.versionBefore = lead.version;
    }
    const std::string declared = embeddedImageVersion();
    if (options.skipIfCurrent && !declared.empty() && run.versionBefore == declared) {
        if (!options.json) {
            std::printf("The meter already runs %s: nothing to do.\n", declared.c_str());
        }
        run.versionAfter = run.versionBefore;
        return finish(options, run);
    }
    showWarning(options, lead);
    if (embeddedImageIsStandIn()) {
        std::fprintf(stderr, "%s\n", kStandInImageNotice);
    }
    switch (askToConfirm(options, "Upgrade now?")) {
    case Answer::CannotAsk:
        return usageError(options, run, "--json without --yes needs a terminal to ask on");
    case Answer::No:
        std::fprintf(stderr, "Upgrade cancelled.\n");
        run.exitCode = EXIT_CANCELLED;
        return finish(options, run);
    case Answer::Yes:
        break;
    }
    const ProgressStyle style = options.json         ? ProgressStyle::JsonEvents
                                : stdoutIsTerminal() ? ProgressStyle::TerminalBar
                                                     : ProgressStyle::PlainLines;
    ProgressView view(style);
    MeterRunStyle runStyle;
    runStyle.json = options.json;
    // Before DTR is first asserted: from here a stop always lets the meter go and closes.
    installStopSignals();
    upgradeMeter(options, lead, view, runStyle, run);
    if (run.exitCode == EXIT_INTERRUPTED || run.exitCode == EXIT_TERMINATED ||
        run.exitCode == EXIT_HANGUP) {
        std::fprintf(stderr, "Upgrade interrupted.\n");
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return finish(options, run);
}

} // namespace pxr7
