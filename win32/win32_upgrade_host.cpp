#include "win32_upgrade_host.h"

#include "message_box_win32.h"
#include "outcome_messages.h"

namespace pxr7 {

namespace {

UINT_PTR timerIdOf(UpgradeTimer timer) {
    return timer == UpgradeTimer::Tick ? kTickTimerId : kResetTimerId;
}

} // namespace

std::optional<UpgradeTimer> upgradeTimerOf(UINT_PTR timerId) {
    if (timerId == kTickTimerId) {
        return UpgradeTimer::Tick;
    }
    if (timerId == kResetTimerId) {
        return UpgradeTimer::Reset;
    }
    return std::nullopt;
}

void Win32UpgradeHost::setTimer(UpgradeTimer timer, std::chrono::milliseconds period) {
    SetTimer(window_, timerIdOf(timer), static_cast<UINT>(period.count()), nullptr);
}

void Win32UpgradeHost::killTimer(UpgradeTimer timer) {
    KillTimer(window_, timerIdOf(timer));
}

void Win32UpgradeHost::progressChanged(const UpgradeProgress& /*progress*/) {
    // The window paints from the upgrade itself.
    InvalidateRect(window_, nullptr, TRUE);
}

void Win32UpgradeHost::phaseChanged(UpgradePhase phase) {
    // At the end the bar is drawn once more over what is there, without blanking it first.
    if (phase == UpgradePhase::Done) {
        InvalidateRect(window_, nullptr, FALSE);
    }
}

void Win32UpgradeHost::finished(const UpgradeOutcome& outcome) {
    const OutcomeMessage message = outcomeMessageFor(outcome.result);
    if (message.index >= 0) {
        showMessageBox(message.index, message.kind, caption_);
    }
}

ImageLookup Win32UpgradeHost::findImage(std::uint32_t resourceId, const std::uint8_t** data,
                                        std::uint32_t* size) {
    return findEmbeddedImage(resourceId, data, size);
}

} // namespace pxr7
