#include "phase.h"

namespace pxr7 {

const char* phaseLabel(Phase phase) {
    switch (phase) {
    case Phase::Reset:
        return "Resetting: keep the meter on";
    case Phase::WaitingForMeter:
        return "Waiting for the meter";
    case Phase::Sending:
        return "Sending the firmware";
    case Phase::Restarting:
        return "Restarting the meter";
    case Phase::Verifying:
        return "Verifying: leave the meter on";
    case Phase::Checking:
        return "Checking which meter is on the lead";
    }
    return "";
}

const char* phaseCode(Phase phase) {
    switch (phase) {
    case Phase::Reset:
        return "reset";
    case Phase::WaitingForMeter:
        return "waiting_for_meter";
    case Phase::Sending:
        return "sending";
    case Phase::Restarting:
        return "restarting";
    case Phase::Verifying:
        return "verifying";
    case Phase::Checking:
        return "checking";
    }
    return "";
}

} // namespace pxr7
