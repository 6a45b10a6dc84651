// The main window as the upgrade's host: its timers, its repaint, message boxes and the image
// in the program's own resources.
#pragma once

#include "upgrade_host.h"

#include <windows.h>

#include <optional>

namespace pxr7 {

// The window timers of the upgrade.
constexpr UINT_PTR kTickTimerId = 12345;
constexpr UINT_PTR kResetTimerId = 12346;

// The upgrade timer a WM_TIMER identifier stands for; none for any other timer.
std::optional<UpgradeTimer> upgradeTimerOf(UINT_PTR timerId);

class Win32UpgradeHost : public UpgradeHost {
public:
    // caption is the application title every message box carries; it must outlive the host.
    explicit Win32UpgradeHost(const char* caption) : caption_(caption) {}

    // The window that receives the timers' WM_TIMER messages and is repainted.
    void attach(HWND window) { window_ = window; }

    void setTimer(UpgradeTimer timer, std::chrono::milliseconds period) override;
    void killTimer(UpgradeTimer timer) override;
    void progressChanged(const UpgradeProgress& progress) override;
    void phaseChanged(UpgradePhase phase) override;
    void finished(const UpgradeOutcome& outcome) override;
    ImageLookup findImage(std::uint32_t resourceId, const std::uint8_t** data,
                          std::uint32_t* size) override;

private:
    const char* caption_;
    HWND window_ = nullptr;
};

} // namespace pxr7
