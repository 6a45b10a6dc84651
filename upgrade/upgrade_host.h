// What the transfer needs from the program that runs it. The Windows main window, the
// command line and the tests each provide one, so all of them drive the same upgrade.
#pragma once

#include "firmware_image.h"
#include "upgrade_outcome.h"

#include <cstdint>

namespace pxr7 {

// The upgrade's two timers; their values are the window timer identifiers.
enum class UpgradeTimer : unsigned { Tick = 12345, Reset = 12346 };

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
    virtual void setTimer(UpgradeTimer timer, unsigned periodMs) = 0;
    virtual void killTimer(UpgradeTimer timer) = 0;
    // The progress display must be redrawn; erase false redraws without blanking first.
    virtual void invalidate(const UpgradeProgress& progress, bool erase) = 0;
    // The upgrade ended: shows the outcome and returns once the user has seen it. Called once
    // for each start, while the upgrade still counts as active where a transfer was running.
    virtual void finished(const UpgradeOutcome& outcome) = 0;
    // Finds the image to send; hosts normally answer with findEmbeddedImage.
    virtual ImageLookup findImage(std::uint32_t resourceId, const std::uint8_t** data,
                                  std::uint32_t* size) = 0;
};

} // namespace pxr7
