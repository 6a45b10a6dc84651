#include "terminal_width.h"

#include <windows.h>

namespace pxr7 {

int stdoutColumns() {
    // Fails for a pipe, a file and terminals that are not consoles (mintty): plain lines then.
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info) == 0) {
        return 0;
    }
    return info.srWindow.Right - info.srWindow.Left + 1;
}

} // namespace pxr7
