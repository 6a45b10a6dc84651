#include "console_host.h"

#include "device_port.h"
#include "upgrade_procedure.h"

#include <cstdio>
#include <thread>

using namespace pxr7;

namespace {

// How long the loop may sleep before it looks at the interrupt flag again.
constexpr auto kLongestSleep = std::chrono::milliseconds(50);

} // namespace

ConsoleHost::ConsoleHost(DevicePort* port, ProgressView& view) : port_(port), view_(view) {}

void ConsoleHost::setTimer(int timerId, unsigned periodMs) {
    const Clock::time_point now = Clock::now();
    const Clock::duration period = std::chrono::milliseconds(periodMs);
    timers_[timerId] = Timer{period, now, now + period};
}

void ConsoleHost::killTimer(int timerId) {
    timers_.erase(timerId);
}

void ConsoleHost::invalidate(bool /*erase*/) {
    const UpgradeState& upgrade = upgradeState();
    const std::int32_t sent = upgrade.state == SendingRecords ? upgrade.nextRecord : 0;
    view_.update(upgrade.active, sent, upgrade.recordCount);
}

void ConsoleHost::showMessage(int index, MessageKind kind) {
    lastMessage_ = index;
    view_.finishLine();
    ::showMessage(index, kind);
}

DevicePort* ConsoleHost::port() {
    return port_;
}

ImageLookup ConsoleHost::findImage(std::uint32_t resourceId, const std::uint8_t** data,
                                   std::uint32_t* size) {
    return findEmbeddedImage(resourceId, data, size);
}

bool ConsoleHost::runTimers(const volatile std::sig_atomic_t& interruptRequests) {
    bool warned = false;
    while (!timers_.empty()) {
        if (interruptRequests >= 2) {
            return false;
        }
        if (interruptRequests == 1 && !warned) {
            warned = true;
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
        const int timerId = next->first;
        dispatchTransferTimer(*this, timerId);
        if (!upgradeState().active) {
            // Nothing listens to the timers any more.
            timers_.clear();
        }
    }
    return true;
}
