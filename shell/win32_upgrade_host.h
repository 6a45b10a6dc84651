// The main window as the upgrade's host: its timers, its repaint, message boxes, the
// program's one port and the image in the program's own resources.
#pragma once

#include "../upgrade/upgrade_host.h"

#include <windows.h>

using namespace pxr7;

class Win32UpgradeHost : public UpgradeHost {
public:
    // window receives the timers' WM_TIMER messages and is repainted; port may be null.
    Win32UpgradeHost(HWND window, DevicePort* port) : window_(window), port_(port) {}

    void setTimer(int timerId, unsigned periodMs) override;
    void killTimer(int timerId) override;
    void invalidate(bool erase) override;
    void showMessage(int index, MessageKind kind) override;
    DevicePort* port() override { return port_; }
    ImageLookup findImage(std::uint32_t resourceId, const std::uint8_t** data,
                          std::uint32_t* size) override;

private:
    HWND window_;
    DevicePort* port_;
};
