// What one meter's run is doing, as the person at the bench sees it.
#pragma once

namespace pxr7 {

enum class Phase {
    Reset,
    WaitingForMeter,
    Sending,
    Restarting,
    Verifying,
    Checking, // before a retry: whether the meter on the lead is still the one being upgraded
};

// The phase as a few words ("Resetting: keep the meter on").
const char* phaseLabel(Phase phase);
// The phase's stable name in JSON events: "reset", "waiting_for_meter", "sending",
// "restarting", "verifying", "checking".
const char* phaseCode(Phase phase);

} // namespace pxr7
