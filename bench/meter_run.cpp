#include "meter_run.h"

#include "diagnosis.h"
#include "meter_version.h"
#include "printable.h"
#include "target_choice.h"
#include "transfer_host.h"
#include "upgrade_outcomes.h"

namespace pxr7 {

namespace {

// Runs the transfer to the end, or until a stop; returns the exit code.
int transfer(const BridgeReport& lead, LaneObserver& lane, const StopCheck& stop, MeterRun& run) {
    TransferHost host(lane);
    Upgrade upgrade(host);
    upgrade.chooseImage(IMAGE_RESOURCE_ID);
    upgrade.aimAt(lead.identity.serialNumber, lead.identity.index);
    upgrade.useLatencyTimer(kBenchLatencyMs);
    upgrade.start([] { return true; });
    if (upgrade.progress().active && !host.runTimers(upgrade, stop)) {
        // Stopped: the meter is let out of reset and the port closed before the program ends.
        upgrade.stopTimers();
        if (DevicePort* port = upgrade.port()) {
            port->clearDtr();
            port->close();
        }
        run.recordsSent = upgrade.state().nextRecord;
        run.recordsTotal = upgrade.state().recordCount;
        return stop.exitCode();
    }
    const UpgradeOutcome& outcome = host.outcome();
    run.recordsSent =
        outcome.result == UpgradeResult::Completed ? outcome.recordCount : outcome.nextRecord;
    run.recordsTotal = outcome.recordCount;
    run.diagnosis = diagnose(outcome);
    return commandOutcomeFor(outcome).exitCode;
}

// After a whole transfer: the meter's version once it has restarted.
int verify(const BridgeIdentity& lead, const RunSettings& settings, LaneObserver& lane,
           const StopCheck& stop, MeterRun& run) {
    lane.phase(Phase::Verifying);
    const VersionAfterRestart answer =
        readVersionAfterRestart(lead, kRestartWait, stop.afterTransfer);
    const std::optional<std::string>& after = answer.version;
    if (answer.cannotTell) {
        run.diagnosis = "pxr7: another lead shares this lead's serial number (or neither has "
                        "one) and the driver cannot tell where each is plugged in, so no answer "
                        "proves this meter's version: connect the lead on its own and run "
                        "pxr7 list.";
        return EXIT_VERIFY_FAILED;
    }
    if (!after && stop.afterTransfer != nullptr && stop.afterTransfer()) {
        return stop.exitCode();
    }
    if (!after) {
        run.diagnosis = "pxr7: the meter did not answer after the upgrade. It may need longer "
                        "to start (try --no-verify next time), or it is waiting in its boot "
                        "loader: run upgrade again.";
        return EXIT_METER_SILENT;
    }
    run.versionAfter = *after;
    if (!settings.declaredVersion.empty() && *after != settings.declaredVersion) {
        run.diagnosis = "pxr7: the meter reports " + printable(*after) +
                        " after the upgrade, not " + settings.declaredVersion +
                        ": the new firmware did not take. Run upgrade again.";
        return EXIT_VERIFY_FAILED;
    }
    return EXIT_OK;
}

} // namespace

MeterRun meterRunFor(const BridgeReport& lead) {
    MeterRun run;
    run.serial = lead.identity.serialNumber;
    run.index = lead.identity.index;
    run.versionBefore = lead.state == BridgeState::MeterAnswered ? lead.version : "";
    return run;
}

int runMeter(const BridgeReport& lead, const RunSettings& settings, LaneObserver& lane,
             const StopCheck& stop, MeterRun& run) {
    const auto started = std::chrono::steady_clock::now();
    run.exitCode = transfer(lead, lane, stop, run);
    if (run.exitCode == EXIT_OK && settings.verify) {
        run.exitCode = verify(lead.identity, settings, lane, stop, run);
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return run.exitCode;
}

} // namespace pxr7
