// The program's entry point: sets up the main window, loads the D2XX library and runs the
// message loop.
#include "bridge_library.h"
#include "main_window_win32.h"
#include "message_box_win32.h"
#include "resource.h"

#include <windows.h>

namespace pxr7 {

namespace {

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
    MainWindow main;
    if (!main.create(instance)) {
        return 0;
    }
    ShowWindow(main.window(), showCommand);
    UpdateWindow(main.window());
    removeLoadCommand(main.window());
    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_MAIN_ACCELERATORS));

    if (!loadBridgeLibrary()) {
        showMessageBox(MSG_NO_USB_DRIVER, MessageKind::Information, main.title());
        return 0;
    }
    // The bridge is not closed at the end: closing the window leaves it as it is.
    return runMessageLoop(accelerators);
}
