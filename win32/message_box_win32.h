// Every message of the Windows program as a task-modal message box with no owner window, the
// application title as caption and the kind's icon.
#pragma once

#include "message_catalogue.h"

namespace pxr7 {

// The message-box style of a kind: MB_OK | MB_TASKMODAL with the stop or information icon.
unsigned messageBoxStyle(MessageKind kind);

// Loads message index and shows it; returns when the user has closed the box.
void showMessageBox(int index, MessageKind kind, const char* caption);

} // namespace pxr7
