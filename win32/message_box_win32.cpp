#include "message_box_win32.h"

#include <windows.h>

namespace pxr7 {

unsigned messageBoxStyle(MessageKind kind) {
    const unsigned icon = kind == MessageKind::Error ? MB_ICONHAND : MB_ICONINFORMATION;
    return MB_OK | MB_TASKMODAL | icon;
}

void showMessageBox(int index, MessageKind kind, const char* caption) {
    char text[kMessageBufferSize];
    loadMessageText(index, text, sizeof text);
    // No owner: task-modal disables every window of the thread instead, so the box also
    // holds off a dialog that happens to be open.
    MessageBoxA(nullptr, text, caption, messageBoxStyle(kind));
}

} // namespace pxr7
