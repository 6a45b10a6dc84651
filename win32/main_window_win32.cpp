// The program's entry point and its one top-level window: a small fixed-size window whose
// client area is the upgrade's progress bar, with a menu for the four commands. The window
// routes the upgrade's two timers back to it.
#include "bridge_library.h"
#include "dialogs_win32.h"
#include "message_box_win32.h"
#include "message_catalogue.h"
#include "progress_paint_win32.h"
#include "resource.h"
#include "upgrade.h"
#include "win32_upgrade_host.h"

#include <windows.h>

namespace pxr7 {

namespace {

constexpr int kWindowWidth = 230;
constexpr int kWindowHeight = 90;

HINSTANCE g_instance = nullptr;
HWND g_mainWindow = nullptr;
ApplicationTitle g_title{};
Win32UpgradeHost g_host(g_title.title);
Upgrade g_upgrade(g_host); // the program's one upgrade, with the one port for upgrades

// ---- Menu commands ----

void onAbout(HWND window) {
    runAbout(window);
}

void onExit(HWND window) {
    DestroyWindow(window);
}

void onUpgrade(HWND window) {
    g_upgrade.start([window] { return runUpgradeWarning(window, g_upgrade); });
}

void onVersion(HWND window) {
    runDeviceList(window);
}

// ---- Message handlers ----

void onDestroy() {
    // The bridge is left as it is: closing the window mid-transfer makes no further call.
    g_upgrade.stopTimers();
    PostQuitMessage(0);
}

void onPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    paintProgress(dc, g_upgrade.progress());
    EndPaint(window, &paint);
}

// Returns false for commands that go to default processing.
bool onCommand(HWND window, int commandId) {
    switch (commandId) {
    case IDM_ABOUT:
        onAbout(window);
        return true;
    case IDM_EXIT:
        onExit(window);
        return true;
    case IDM_UPGRADE:
        onUpgrade(window);
        return true;
    case IDM_VERSION:
        onVersion(window);
        return true;
    default:
        return false;
    }
}

void onTimer(UINT_PTR timerId) {
    g_upgrade.onTimer(static_cast<UpgradeTimer>(timerId));
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY:
        onDestroy();
        return 0;
    case WM_PAINT:
        onPaint(window);
        return 0;
    case WM_COMMAND:
        if (onCommand(window, LOWORD(wParam))) {
            return 0;
        }
        break;
    case WM_TIMER:
        onTimer(wParam);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// ---- Start-up steps ----

void registerMainWindowClass(HINSTANCE instance) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_METER));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDR_MAIN_MENU);
    windowClass.lpszClassName = g_title.className;
    windowClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_METER_SMALL));
    RegisterClassExA(&windowClass);
}

HWND createMainWindow(HINSTANCE instance) {
    // WS_SYSMENU alone: caption and system menu, no minimise or maximise box, no sizing.
    return CreateWindowExA(0, g_title.className, g_title.title, WS_SYSMENU, CW_USEDEFAULT, 0,
                           kWindowWidth, kWindowHeight, nullptr, nullptr, instance, nullptr);
}

// The menu resource still carries the "Load" command of older versions; it does nothing.
void removeLoadCommand(HWND window) {
    DeleteMenu(GetMenu(window), IDM_LOAD, MF_BYCOMMAND);
    DrawMenuBar(window);
}

// Runs until WM_QUIT and returns its exit code. A retrieval error (-1) does not end it.
int runMessageLoop(HACCEL accelerators) {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) != 0) {
        if (TranslateAcceleratorA(message.hwnd, accelerators, &message) == 0) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

} // namespace

} // namespace pxr7

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int showCommand) {
    using namespace pxr7;
    g_title = loadApplicationTitle();
    registerMainWindowClass(instance);

    g_instance = instance;
    g_mainWindow = createMainWindow(instance);
    g_host.attach(g_mainWindow);
    if (g_mainWindow == nullptr) {
        return 0;
    }
    ShowWindow(g_mainWindow, showCommand);
    UpdateWindow(g_mainWindow);
    removeLoadCommand(g_mainWindow);
    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_MAIN_ACCELERATORS));

    if (!loadBridgeLibrary()) {
        showMessageBox(MSG_NO_USB_DRIVER, MessageKind::Information, g_title.title);
        return 0;
    }
    // The bridge is not closed at the end: closing the window leaves it as it is.
    return runMessageLoop(accelerators);
}
