#include "main_window_win32.h"

#include "dialogs_win32.h"
#include "progress_paint_win32.h"
#include "resource.h"

namespace pxr7 {

namespace {

constexpr int kWindowWidth = 230;
constexpr int kWindowHeight = 90;

} // namespace

MainWindow::MainWindow() : title_(loadApplicationTitle()), host_(title_.title), upgrade_(host_) {}

void MainWindow::registerClass(HINSTANCE instance) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_METER));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDR_MAIN_MENU);
    windowClass.lpszClassName = title_.className;
    windowClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_METER_SMALL));
    RegisterClassExA(&windowClass);
}

bool MainWindow::create(HINSTANCE instance) {
    registerClass(instance);
    // WS_SYSMENU alone: caption and system menu, no minimise or maximise box, no sizing.
    // WM_NCCREATE stores this object in the window before any handler runs.
    CreateWindowExA(0, title_.className, title_.title, WS_SYSMENU, CW_USEDEFAULT, 0, kWindowWidth,
                    kWindowHeight, nullptr, nullptr, instance, this);
    return window_ != nullptr;
}

LRESULT CALLBACK MainWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->window_ = window;
        self->host_.attach(window);
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return self->handleMessage(message, wParam, lParam);
}

LRESULT MainWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY:
        onDestroy();
        return 0;
    case WM_PAINT:
        onPaint();
        return 0;
    case WM_COMMAND:
        if (onCommand(LOWORD(wParam))) {
            return 0;
        }
        break;
    case WM_TIMER:
        onTimer(wParam);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window_, message, wParam, lParam);
}

void MainWindow::onDestroy() {
    // The bridge is left as it is: closing the window mid-transfer makes no further call.
    upgrade_.stopTimers();
    PostQuitMessage(0);
}

void MainWindow::onPaint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    paintProgress(dc, upgrade_.progress());
    EndPaint(window_, &paint);
}

bool MainWindow::onCommand(int commandId) {
    switch (commandId) {
    case IDM_ABOUT:
        runAbout(window_);
        return true;
    case IDM_EXIT:
        DestroyWindow(window_);
        return true;
    case IDM_UPGRADE:
        onUpgrade();
        return true;
    case IDM_VERSION:
        runDeviceList(window_);
        return true;
    default:
        return false;
    }
}

void MainWindow::onTimer(UINT_PTR timerId) {
    if (const std::optional<UpgradeTimer> timer = upgradeTimerOf(timerId)) {
        upgrade_.onTimer(*timer);
    }
}

void MainWindow::onUpgrade() {
    upgrade_.start([this] { return runUpgradeWarning(window_, upgrade_) == kUpgradeNow; });
}

} // namespace pxr7
