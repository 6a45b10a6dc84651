// What the three dialog procedures share.
#pragma once

#include <windows.h>

namespace pxr7 {

// Commands 1 and 2 end the dialog with that identifier; every other command is ignored.
// Returns the dialog procedure's answer for WM_COMMAND.
INT_PTR endDialogOnCloseCommand(HWND dialog, int commandId);

// The dialog's data, handed over by DialogBoxParam and kept in the dialog's user slot.
void storeDialogData(HWND dialog, void* data);
void* storedDialogData(HWND dialog);

// Sets the dialog's caption from a message index of the catalogue.
void setDialogCaptionFromMessage(HWND dialog, int messageIndex);

} // namespace pxr7
