// Runs one upgrade's transfer without a window: the two timers on a steady clock, the phases
// and progress to a lane, the outcome kept as a value.
#pragma once

#include "lane_observer.h"
#include "upgrade.h"

#include <chrono>
#include <map>

namespace pxr7 {

class TransferHost : public UpgradeHost {
public:
    explicit TransferHost(LaneObserver& lane) : lane_(lane) {}

    void setTimer(UpgradeTimer timer, std::chrono::milliseconds period) override;
    void killTimer(UpgradeTimer timer) override;
    void progressChanged(const UpgradeProgress& progress) override;
    void phaseChanged(UpgradePhase phase) override;
    void finished(const UpgradeOutcome& outcome) override;
    ImageLookup findImage(std::uint32_t resourceId, const std::uint8_t** data,
                          std::uint32_t* size) override;

    // Delivers timer expiries to upgrade until no timer is left. Expiry n of a timer is due at
    // its start plus n periods, so the pace does not drift; expiries missed while the program
    // was held up are dropped rather than delivered in a burst, as window timers do, so that
    // a stall never turns into a run of instant polls. Returns false if stop asked to stop.
    bool runTimers(Upgrade& upgrade, const StopCheck& stop);

    const UpgradeOutcome& outcome() const { return outcome_; }

private:
    using Clock = std::chrono::steady_clock;
    struct Timer {
        Clock::duration period;
        Clock::time_point start;
        Clock::time_point due;
    };

    std::map<UpgradeTimer, Timer>::iterator nextDue();

    LaneObserver& lane_;
    std::map<UpgradeTimer, Timer> timers_;
    UpgradeOutcome outcome_;
};

} // namespace pxr7
