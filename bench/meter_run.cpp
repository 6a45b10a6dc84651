#include "meter_run.h"

namespace pxr7 {

void MeterRun::endWith(Outcome code) {
    code_ = code;
    kind_ = code == Outcome::Ok  ? MeterOutcome::Ok
            : isStopSignal(code) ? MeterOutcome::Stopped
                                 : MeterOutcome::Failed;
}

void MeterRun::endCurrent() {
    code_ = Outcome::Ok;
    kind_ = MeterOutcome::Current;
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
    return errorWordFor(run.code());
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
