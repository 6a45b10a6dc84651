#include "console_host.h"

#include "commands.h"
#include "diagnosis.h"
#include "exit_codes.h"
#include "json_writer.h"
#include "stop_signals.h"

#include <cstdio>
#include <thread>
#include <utility>

namespace pxr7 {

namespace {

// How long the loop may sleep before it looks at the interrupt flag again.
constexpr auto kLongestSleep = std::chrono::milliseconds(50);

} // namespace

ConsoleHost::ConsoleHost(ProgressSink& view, bool json, std::string tag, bool quiet)
    : view_(view), json_(json), tag_(std::move(tag)), quiet_(quiet) {}

void ConsoleHost::setTimer(UpgradeTimer timer, std::chrono::milliseconds period) {
    const Clock::time_point now = Clock::now();
    timers_[timer] = Timer{period, now, now + period};
}

void ConsoleHost::killTimer(UpgradeTimer timer) {
    timers_.erase(timer);
}

void ConsoleHost::progressChanged(const UpgradeProgress& progress) {
    view_.update(progress.active, progress.done, progress.total);
}

void ConsoleHost::finished(const UpgradeOutcome& outcome) {
    hasOutcome_ = true;
    outcome_ = outcome;
    if (quiet_) {
        return;
    }
    const CommandOutcome shown = commandOutcomeFor(outcome);
    if (shown.messageIndex >= 0) {
        view_.finishLine();
        printMessage(shown.messageIndex, shown.kind, json_);
    }
    if (!json_) {
        printDiagnosis(diagnose(outcome));
    }
}

ImageLookup ConsoleHost::findImage(std::uint32_t resourceId, const std::uint8_t** data,
                                   std::uint32_t* size) {
    return findEmbeddedImage(resourceId, data, size);
}

// The phase the upgrade is in, as the progress line and JSON events name it.
void ConsoleHost::phaseChanged(UpgradePhase phase) {
    if (phase == UpgradePhase::Done) {
        return;
    }
    const Phase now = phase == UpgradePhase::Reset             ? Phase::Reset
                      : phase == UpgradePhase::WaitingForMeter ? Phase::WaitingForMeter
                                                               : Phase::Sending;
    if (shownPhase_ && *shownPhase_ == now) {
        return;
    }
    shownPhase_ = now;
    view_.phase(now);
    if (json_) {
        JsonObject event;
        event.add("event", "phase").add("phase", phaseCode(now));
        if (!tag_.empty()) {
            event.add("serial", tag_);
        }
        event.print();
    }
}

bool ConsoleHost::runTimers(Upgrade& upgrade) {
    while (!timers_.empty()) {
        const StopRequest stop = stopRequested();
        if (stop == StopRequest::Stop) {
            return false;
        }
        if (stop == StopRequest::WarnOnce) {
            view_.finishLine();
            std::fprintf(stderr, "An upgrade is in progress: stopping now leaves the meter without "
                                 "working firmware until it is upgraded again.\n"
                                 "Press Ctrl+C again to stop anyway.\n");
        }
        auto next = timers_.begin();
        for (auto it = timers_.begin(); it != timers_.end(); ++it) {
            if (it->second.due < next->second.due) {
                next = it;
            }
        }
        const Clock::time_point now = Clock::now();
        if (now < next->second.due) {
            const Clock::duration wait = next->second.due - now;
            std::this_thread::sleep_for(wait < kLongestSleep ? wait
                                                             : Clock::duration(kLongestSleep));
            continue;
        }
        Timer& timer = next->second;
        const auto periodsPassed = (now - timer.start) / timer.period;
        timer.due = timer.start + (periodsPassed + 1) * timer.period;
        upgrade.onTimer(next->first);
        if (!upgrade.progress().active) {
            // Nothing listens to the timers any more.
            timers_.clear();
        }
    }
    return true;
}

} // namespace pxr7
