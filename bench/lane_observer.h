// What one meter's run tells whoever shows it, from the run's own thread: the phase it is in,
// the records the meter has taken, and how the transfer ended (before its verification).
#pragma once

#include "exit_codes.h"
#include "phase.h"
#include "upgrade_outcome.h"

#include <cstdint>

namespace pxr7 {

class LaneObserver {
public:
    virtual ~LaneObserver() = default;
    virtual void phase(Phase phase) = 0;
    virtual void progress(std::int32_t done, std::int32_t total) = 0;
    virtual void transferEnded(const UpgradeOutcome& outcome) = 0;
    // Transfer number n of the unit begins (2 and up: a retry).
    virtual void attemptStarted(int n) { (void)n; }
};

// Asked between the transfer's ticks and the verification's attempts. During a transfer a
// first Ctrl+C only warns (the front end says so on its own) and duringTransfer turns true on
// the second; once the meter has its firmware, any stop signal ends the wait. Either null:
// never. outcome is the stop's outcome to end with, and must be set with them.
struct StopCheck {
    bool (*duringTransfer)() = nullptr;
    bool (*afterTransfer)() = nullptr;
    Outcome (*outcome)() = nullptr;
};

} // namespace pxr7
