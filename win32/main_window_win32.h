// The program's one top-level window: a small fixed-size window whose client area is the
// upgrade's progress bar, with a menu for the four commands. The window object owns the
// application title, the upgrade's host and the upgrade, and reaches itself from the window
// handle (GWLP_USERDATA), so the window procedure forwards each message to a member handler.
#pragma once

#include "message_catalogue.h"
#include "upgrade.h"
#include "win32_upgrade_host.h"

#include <windows.h>

namespace pxr7 {

class MainWindow {
public:
    MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Registers the window class and creates the window; false if creation failed.
    bool create(HINSTANCE instance);
    HWND window() const { return window_; }
    // The caption of the window and of every message box.
    const char* title() const { return title_.title; }

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void registerClass(HINSTANCE instance);

    void onDestroy();
    void onPaint();
    bool onCommand(int commandId); // false: default processing
    void onTimer(UINT_PTR timerId);
    void onUpgrade();

    ApplicationTitle title_;
    Win32UpgradeHost host_;
    Upgrade upgrade_; // the program's one upgrade, with the one port for upgrades
    HWND window_ = nullptr;
};

} // namespace pxr7
