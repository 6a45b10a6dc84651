#include "terminal_caps.h"

#include <io.h>
#include <stdio.h>
#include <windows.h>

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace pxr7 {

int stdoutColumns() {
    // Fails for a pipe, a file and terminals that are not consoles (mintty): plain lines then.
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info) == 0) {
        return 0;
    }
    return info.srWindow.Right - info.srWindow.Left + 1;
}

int stdoutRows() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info) == 0) {
        return 0;
    }
    return info.srWindow.Bottom - info.srWindow.Top + 1;
}

void watchTerminalSize() {}

bool tookResize() {
    return false;
}

bool stdoutTakesSequences() {
    // Consoles before Windows 10 refuse the mode: plain lines there.
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode) == 0) {
        return false;
    }
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

bool stdoutTakesUtf8() {
    return GetConsoleOutputCP() == CP_UTF8;
}

bool stdoutIsTerminal() {
    return _isatty(_fileno(stdout)) != 0;
}

bool stdinIsTerminal() {
    return _isatty(_fileno(stdin)) != 0;
}

} // namespace pxr7
