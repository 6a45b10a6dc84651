#include "meter_run.h"

#include "exit_codes.h"

namespace pxr7 {

MeterOutcome MeterRun::outcome() const {
    if (exitCode == EXIT_OK) {
        return current ? MeterOutcome::Current : MeterOutcome::Ok;
    }
    return isStopSignal(exitCode) ? MeterOutcome::Stopped : MeterOutcome::Failed;
}

const char* resultWord(const MeterRun& run) {
    switch (run.outcome()) {
    case MeterOutcome::Ok:
        return "ok";
    case MeterOutcome::Current:
        return "current";
    case MeterOutcome::Failed:
    case MeterOutcome::Stopped:
        break;
    }
    return errorWordFor(run.exitCode);
}

MeterRun meterRunFor(const BridgeReport& lead) {
    MeterRun run;
    run.serial = lead.identity.serialNumber;
    run.index = lead.identity.index;
    run.location = lead.identity.location;
    run.versionBefore = lead.state == BridgeState::MeterAnswered ? lead.version : "";
    return run;
}

} // namespace pxr7
