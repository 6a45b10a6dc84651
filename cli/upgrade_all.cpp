#include "upgrade_all.h"

#include "commands.h"
#include "confirm.h"
#include "dialog_texts.h"
#include "exit_codes.h"
#include "firmware_image.h"
#include "json_writer.h"
#include "meter_upgrade.h"
#include "multi_progress.h"
#include "stop_signals.h"
#include "text_output.h"

#include <cstdio>
#include <thread>

namespace pxr7 {

namespace {

void printSummary(const std::vector<MeterRun>& runs) {
    std::printf("\n%-16s  %-14s  %-14s  %-9s  %s\n", "Serial", "Before", "After", "Records",
                "Result");
    for (const MeterRun& run : runs) {
        const std::string records =
            std::to_string(run.recordsSent) + "/" + std::to_string(run.recordsTotal);
        std::printf("%-16s  %-14s  %-14s  %-9s  %s\n", printable(run.serial).c_str(),
                    run.versionBefore.empty() ? "-" : printable(run.versionBefore).c_str(),
                    run.versionAfter.empty() ? "-" : printable(run.versionAfter).c_str(),
                    records.c_str(), run.exitCode == EXIT_OK ? "ok" : errorCodeFor(run.exitCode));
    }
    std::fflush(stdout);
}

int finish(const Options& options, const std::vector<MeterRun>& runs, int exitCode) {
    std::string meters = "[";
    for (const MeterRun& run : runs) {
        JsonObject item;
        addRunFields(item, run);
        meters += (meters.size() > 1 ? "," : "") + item.nested();
        logRun(options, run);
    }
    if (options.json) {
        JsonObject()
            .add("event", "result")
            .add("command", "upgrade")
            .add("exit_code", exitCode)
            .add("error", exitCode == EXIT_OK ? nullptr : errorCodeFor(exitCode))
            .addRaw("meters", meters + "]")
            .print();
    } else if (!runs.empty()) {
        printSummary(runs);
    }
    return exitCode;
}

} // namespace

int runUpgradeAll(const Options& options, const std::vector<BridgeReport>& reports) {
    std::vector<const BridgeReport*> targets;
    std::vector<MeterRun> skipped;
    const std::string declared = embeddedImageVersion();
    for (const BridgeReport& report : reports) {
        MeterRun run;
        run.serial = report.identity.serialNumber;
        run.versionBefore = report.state == BridgeState::MeterAnswered ? report.version : "";
        if (report.state == BridgeState::NeedsSetup) {
            printDiagnosis("pxr7: the lead " + printable(run.serial) +
                           " needs setting up first: pxr7 setup --serial " + run.serial);
            run.exitCode = EXIT_BRIDGE_REPROGRAMMED;
            skipped.push_back(run);
        } else if (isLeadReport(report)) {
            if (options.skipIfCurrent && !declared.empty() && run.versionBefore == declared) {
                run.versionAfter = run.versionBefore;
                skipped.push_back(run);
            } else {
                targets.push_back(&report);
            }
        }
    }
    if (targets.empty()) {
        if (skipped.empty()) {
            printDiagnosis("pxr7: no PXR7 meter lead is connected.");
            return finish(options, skipped, EXIT_NOT_A_METER_LEAD);
        }
        int exitCode = EXIT_OK;
        for (const MeterRun& run : skipped) {
            exitCode = exitCode == EXIT_OK ? run.exitCode : exitCode;
        }
        return finish(options, skipped, exitCode);
    }
    if (!options.json) {
        std::printf("Meters to upgrade:\n");
        for (const BridgeReport* target : targets) {
            std::printf("  %s (bridge %d): %s\n", printable(target->identity.serialNumber).c_str(),
                        target->identity.index,
                        target->state == BridgeState::MeterAnswered
                            ? printable(target->version).c_str()
                            : PXR7_NO_DEVICES_PRESENT);
        }
        std::printf("\n%s\n%s\n\n", PXR7_WARNING_LABEL, PXR7_WARNING_TEXT);
        std::fflush(stdout);
    }
    if (embeddedImageIsStandIn()) {
        std::fprintf(stderr, "%s\n", kStandInImageNotice);
    }
    switch (askToConfirm(options, "Upgrade all of them now?")) {
    case Answer::CannotAsk:
        std::fprintf(stderr, "pxr7: --json without --yes needs a terminal to ask on\n"
                             "Try 'pxr7 --help'.\n");
        return finish(options, {}, EXIT_USAGE);
    case Answer::No:
        std::fprintf(stderr, "Upgrade cancelled.\n");
        return finish(options, {}, EXIT_CANCELLED);
    case Answer::Yes:
        break;
    }

    std::vector<std::string> serials;
    for (const BridgeReport* target : targets) {
        serials.push_back(target->identity.serialNumber);
    }
    const MultiStyle multiStyle = options.json         ? MultiStyle::JsonEvents
                                  : stdoutIsTerminal() ? MultiStyle::TerminalLines
                                                       : MultiStyle::PlainLines;
    MultiProgress progress(multiStyle, serials);
    MeterRunStyle style;
    style.json = options.json;
    style.quiet = true;
    style.tagged = true;
    std::vector<MeterRun> runs(targets.size());
    std::vector<std::thread> threads;
    // Before DTR is first asserted: from here a stop lets every meter go and closes its port.
    installStopSignals();
    for (std::size_t i = 0; i < targets.size(); ++i) {
        runs[i].versionBefore =
            targets[i]->state == BridgeState::MeterAnswered ? targets[i]->version : "";
        threads.emplace_back(
            [&, i] { upgradeMeter(options, *targets[i], progress.lane(i), style, runs[i]); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    progress.finish();
    runs.insert(runs.end(), skipped.begin(), skipped.end());
    int exitCode = EXIT_OK;
    for (const MeterRun& run : runs) {
        exitCode = exitCode == EXIT_OK ? run.exitCode : exitCode;
    }
    return finish(options, runs, exitCode);
}

} // namespace pxr7
