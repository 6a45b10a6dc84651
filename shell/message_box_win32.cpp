#include "message_box_win32.h"

#include <windows.h>

unsigned messageBoxStyle(MessageKind kind) {
    const unsigned icon = kind == MessageKind::Error ? MB_ICONHAND : MB_ICONINFORMATION;
    return MB_OK | MB_TASKMODAL | icon;
}

void presentInMessageBox(const char* text, const char* caption, MessageKind kind) {
    // No owner: task-modal disables every window of the thread instead, so the box also
    // holds off a dialog that happens to be open.
    MessageBoxA(nullptr, text, caption, messageBoxStyle(kind));
}
