#include "meter_upgrade.h"

#include "commands.h"
#include "console_host.h"
#include "exit_codes.h"
#include "json_writer.h"
#include "meter_version.h"
#include "run_log.h"
#include "stop_signals.h"
#include "text_output.h"
#include "upgrade.h"

#include <chrono>
#include <cstdio>

namespace pxr7 {

namespace {

// Runs the transfer to the end, or until a stop signal; returns the exit code.
int transfer(const BridgeReport& lead, ProgressSink& view, const MeterRunStyle& style,
             MeterRun& run) {
    ConsoleHost host(view, style.json, style.tagged ? lead.identity.serialNumber : "", style.quiet);
    Upgrade upgrade(host);
    upgrade.chooseImage(IMAGE_RESOURCE_ID);
    upgrade.aimAt(lead.identity.serialNumber, lead.identity.index);
    upgrade.useLatencyTimer(kCommandLineLatencyMs);
    upgrade.start([] { return true; });
    if (upgrade.progress().active && !host.runTimers(upgrade)) {
        // Stopped: the meter is let out of reset and the port closed before the program ends.
        upgrade.stopTimers();
        if (DevicePort* port = upgrade.port()) {
            port->clearDtr();
            port->close();
        }
        view.finishLine();
        run.recordsSent = upgrade.state().nextRecord;
        run.recordsTotal = upgrade.state().recordCount;
        return stopExitCode();
    }
    const UpgradeOutcome& outcome = host.outcome();
    run.recordsSent =
        outcome.result == UpgradeResult::Completed ? outcome.recordCount : outcome.nextRecord;
    run.recordsTotal = outcome.recordCount;
    return commandOutcomeFor(outcome).exitCode;
}

void announceVerifying(const MeterRunStyle& style, const std::string& serial) {
    if (style.json) {
        JsonObject event;
        event.add("event", "phase").add("phase", phaseCode(Phase::Verifying));
        if (style.tagged) {
            event.add("serial", serial);
        }
        event.print();
    }
}

// After a whole transfer: the meter's version once it has restarted.
int verify(ProgressSink& view, const MeterRunStyle& style, MeterRun& run) {
    view.phase(Phase::Verifying); // the progress line says it to a person
    announceVerifying(style, run.serial);
    const std::optional<std::string> after =
        readVersionAfterRestart(run.serial, kRestartWait, anyStopSignal);
    const bool speak = !style.json && !style.quiet;
    if (!after && anyStopSignal()) {
        return stopExitCode();
    }
    if (!after) {
        if (speak) {
            printDiagnosis("pxr7: the meter did not answer after the upgrade. It may need longer "
                           "to start (try --no-verify next time), or it is waiting in its boot "
                           "loader: run upgrade again.");
        }
        return EXIT_METER_SILENT;
    }
    run.versionAfter = *after;
    if (speak) {
        std::printf("%s -> %s\n",
                    run.versionBefore.empty() ? "(no answer)"
                                              : printable(run.versionBefore).c_str(),
                    printable(*after).c_str());
    }
    const std::string declared = embeddedImageVersion();
    if (!declared.empty() && *after != declared) {
        if (speak) {
            printDiagnosis("pxr7: the meter reports " + printable(*after) +
                           " after the upgrade, not " + declared +
                           ": the new firmware did not take. Run upgrade again.");
        }
        return EXIT_VERIFY_FAILED;
    }
    return EXIT_OK;
}

} // namespace

void addRunFields(JsonObject& object, const MeterRun& run) {
    const auto text = [](const std::string& value) {
        return value.empty() ? nullptr : value.c_str();
    };
    object.add("exit_code", run.exitCode)
        .add("error", run.exitCode == EXIT_OK ? nullptr : errorCodeFor(run.exitCode))
        .add("serial", text(run.serial))
        .add("version_before", text(run.versionBefore))
        .add("version_after", text(run.versionAfter))
        .add("records_sent", static_cast<long long>(run.recordsSent))
        .add("records_total", static_cast<long long>(run.recordsTotal))
        .add("duration_s", run.seconds);
}

void logRun(const Options& options, const MeterRun& run) {
    if (options.logPath.empty()) {
        return;
    }
    RunLogEntry entry;
    entry.command = "upgrade";
    entry.serial = run.serial;
    entry.versionBefore = run.versionBefore;
    entry.versionAfter = run.versionAfter;
    entry.outcome = outcomeWordFor(run.exitCode);
    entry.exitCode = run.exitCode;
    appendRunLog(options.logPath, entry);
}

int upgradeMeter(const Options& options, const BridgeReport& lead, ProgressSink& view,
                 const MeterRunStyle& style, MeterRun& run) {
    const auto started = std::chrono::steady_clock::now();
    run.serial = lead.identity.serialNumber;
    run.exitCode = transfer(lead, view, style, run);
    if (run.exitCode == EXIT_OK && !options.noVerify) {
        run.exitCode = verify(view, style, run);
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return run.exitCode;
}

} // namespace pxr7
