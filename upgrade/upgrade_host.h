// What the transfer needs from the program that runs it. The Windows main window, the
// command line and the tests each provide one, so all of them drive the same upgrade.
#pragma once

#include "firmware_image.h"
#include "upgrade_outcome.h"

#include <chrono>
#include <cstdint>

namespace pxr7 {

// The upgrade's two timers. Each host gives them its own identifiers.
enum class UpgradeTimer { Tick, Reset };

// Where a started upgrade is, as it moves on.
enum class UpgradePhase { Reset, WaitingForMeter, Sending, Done };

// What a progress display shows: done of total records the meter has taken so far, while an
// upgrade is active.
struct UpgradeProgress {
    std::int32_t done = 0;
    std::int32_t total = 0;
    bool active = false;
};

class UpgradeHost {
public:
    virtual ~UpgradeHost() = default;

    // Starts (or restarts) a timer with the given period; its expiries come back through
    // Upgrade::onTimer.
    virtual void setTimer(UpgradeTimer timer, std::chrono::milliseconds period) = 0;
    virtual void killTimer(UpgradeTimer timer) = 0;
    // The progress has changed (or must be shown afresh): redraw it.
    virtual void progressChanged(const UpgradeProgress& progress) = 0;
    // Reset: DTR asserted at the start; WaitingForMeter: the pulse ended; Sending: the
    // meter's "}" was answered; Done: the transfer ended (after finished()), the port about to
    // be closed.
    virtual void phaseChanged(UpgradePhase phase) = 0;
    // The upgrade ended: shows the outcome and returns once the user has seen it. Called once
    // for each start, while the upgrade still counts as active where a transfer was running.
    virtual void finished(const UpgradeOutcome& outcome) = 0;
    // Finds the image to send; hosts normally answer with findEmbeddedImage.
    virtual ImageLookup findImage(std::uint32_t resourceId, const std::uint8_t** data,
                                  std::uint32_t* size) = 0;
};

} // namespace pxr7
