#include "transfer_host.h"

#include <thread>

namespace pxr7 {

namespace {

// How long the loop may sleep before it looks for a stop again.
constexpr auto kLongestSleep = std::chrono::milliseconds(50);

} // namespace

void TransferHost::setTimer(UpgradeTimer timer, std::chrono::milliseconds period) {
    const Clock::time_point now = Clock::now();
    timers_[timer] = Timer{period, now, now + period};
}

void TransferHost::killTimer(UpgradeTimer timer) {
    timers_.erase(timer);
}

void TransferHost::progressChanged(const UpgradeProgress& progress) {
    if (progress.active) {
        lane_.progress(progress.done, progress.total);
    }
}

void TransferHost::phaseChanged(UpgradePhase phase) {
    switch (phase) {
    case UpgradePhase::Reset:
        lane_.phase(Phase::Reset);
        break;
    case UpgradePhase::WaitingForMeter:
        lane_.phase(Phase::WaitingForMeter);
        break;
    case UpgradePhase::Sending:
        lane_.phase(Phase::Sending);
        break;
    case UpgradePhase::Done:
        break; // the outcome has been told already
    }
}

void TransferHost::finished(const UpgradeOutcome& outcome) {
    outcome_ = outcome;
    lane_.transferEnded(outcome);
}

ImageLookup TransferHost::findImage(std::uint32_t resourceId, const std::uint8_t** data,
                                    std::uint32_t* size) {
    return findEmbeddedImage(resourceId, data, size);
}

std::map<UpgradeTimer, TransferHost::Timer>::iterator TransferHost::nextDue() {
    auto next = timers_.begin();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->second.due < next->second.due) {
            next = it;
        }
    }
    return next;
}

bool TransferHost::runTimers(Upgrade& upgrade, const StopCheck& stop) {
    while (!timers_.empty()) {
        if (stop.duringTransfer != nullptr && stop.duringTransfer()) {
            return false;
        }
        const auto next = nextDue();
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
            timers_.clear(); // nothing listens to the timers any more
        }
    }
    return true;
}

} // namespace pxr7
