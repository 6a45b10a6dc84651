#include "dialog_support_win32.h"

#include "message_catalogue.h"

namespace pxr7 {

INT_PTR endDialogOnCloseCommand(HWND dialog, int commandId) {
    if (commandId == IDOK || commandId == IDCANCEL) {
        EndDialog(dialog, commandId);
        return TRUE;
    }
    return FALSE;
}

void storeDialogData(HWND dialog, void* data) {
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(data));
}

void* storedDialogData(HWND dialog) {
    return reinterpret_cast<void*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

void setDialogCaptionFromMessage(HWND dialog, int messageIndex) {
    char caption[kMessageBufferSize];
    loadMessageText(messageIndex, caption, sizeof caption);
    SetWindowTextA(dialog, caption);
}

} // namespace pxr7
