// Runs the upgrade from a terminal: the two timers on a steady clock, progress on the
// terminal, messages as lines.
#pragma once

#include "progress_view.h"
#include "upgrade_host.h"

#include <chrono>
#include <csignal>
#include <map>

using namespace pxr7;

class ConsoleHost : public UpgradeHost {
public:
    ConsoleHost(DevicePort* port, ProgressView& view);

    void setTimer(int timerId, unsigned periodMs) override;
    void killTimer(int timerId) override;
    void invalidate(bool erase) override;
    void showMessage(int index, MessageKind kind) override;
    DevicePort* port() override;
    ImageLookup findImage(std::uint32_t resourceId, const std::uint8_t** data,
                          std::uint32_t* size) override;

    // Delivers timer expiries until no timer is left. Expiry n of a timer is due at its start
    // plus n periods, so the pace does not drift; expiries missed while the program was held
    // up are dropped rather than delivered in a burst, as window timers do, so that a stall
    // never turns into a run of instant polls. Returns false if interruptRequests reached 2.
    bool runTimers(const volatile std::sig_atomic_t& interruptRequests);

    // The index of the last message shown, or -1.
    int lastMessage() const { return lastMessage_; }

private:
    using Clock = std::chrono::steady_clock;
    struct Timer {
        Clock::duration period;
        Clock::time_point start;
        Clock::time_point due;
    };

    DevicePort* port_;
    ProgressView& view_;
    std::map<int, Timer> timers_;
    int lastMessage_ = -1;
};
