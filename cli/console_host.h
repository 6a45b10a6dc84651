// Runs the upgrade from a terminal: the two timers on a steady clock, progress on the
// terminal, the outcome as a message line.
#pragma once

#include "progress_sink.h"
#include "upgrade.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>

namespace pxr7 {

class ConsoleHost : public UpgradeHost {
public:
    // json: events as JSON lines. tag: a serial number that JSON events carry, when several
    // upgrades run at once. quiet: no message lines (a summary follows instead).
    ConsoleHost(ProgressSink& view, bool json, std::string tag = std::string(), bool quiet = false);

    void setTimer(UpgradeTimer timer, std::chrono::milliseconds period) override;
    void killTimer(UpgradeTimer timer) override;
    void progressChanged(const UpgradeProgress& progress) override;
    void phaseChanged(UpgradePhase phase) override;
    void finished(const UpgradeOutcome& outcome) override;
    ProgressSink& view() { return view_; }
    ImageLookup findImage(std::uint32_t resourceId, const std::uint8_t** data,
                          std::uint32_t* size) override;

    // Delivers timer expiries to upgrade until no timer is left. Expiry n of a timer is due at
    // its start plus n periods, so the pace does not drift; expiries missed while the program
    // was held up are dropped rather than delivered in a burst, as window timers do, so that
    // a stall never turns into a run of instant polls. Returns false if a stop signal asked
    // to stop (stop_signals.h).
    bool runTimers(Upgrade& upgrade);

    // The outcome the upgrade reported, once it has.
    bool hasOutcome() const { return hasOutcome_; }
    const UpgradeOutcome& outcome() const { return outcome_; }

private:
    using Clock = std::chrono::steady_clock;
    struct Timer {
        Clock::duration period;
        Clock::time_point start;
        Clock::time_point due;
    };

    ProgressSink& view_;
    bool json_;
    std::string tag_;
    bool quiet_;
    std::optional<Phase> shownPhase_;
    std::map<UpgradeTimer, Timer> timers_;
    bool hasOutcome_ = false;
    UpgradeOutcome outcome_;
};

} // namespace pxr7
