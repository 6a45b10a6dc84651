// The main window as the upgrade's host: its timers, its repaint, message boxes and the image
// in the program's own resources.
#pragma once

#include "upgrade_host.h"

#include <windows.h>

namespace pxr7 {

class Win32UpgradeHost : public UpgradeHost {
public:
    // caption is the application title every message box carries; it must outlive the host.
    explicit Win32UpgradeHost(const char* caption) : caption_(caption) {}

    // The window that receives the timers' WM_TIMER messages and is repainted.
    void attach(HWND window) { window_ = window; }

    void setTimer(UpgradeTimer timer, unsigned periodMs) override;
    void killTimer(UpgradeTimer timer) override;
    void invalidate(const UpgradeProgress& progress, bool erase) override;
    void finished(const UpgradeOutcome& outcome) override;
    ImageLookup findImage(std::uint32_t resourceId, const std::uint8_t** data,
                          std::uint32_t* size) override;

private:
    const char* caption_;
    HWND window_ = nullptr;
};

} // namespace pxr7
