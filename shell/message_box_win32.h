// The Windows presenter of the message catalogue: every outcome as a task-modal message box
// with no owner window, the application title as caption and the kind's icon.
#pragma once

#include "message_catalogue.h"

// The message-box style of a kind: MB_OK | MB_TASKMODAL with the stop or information icon.
unsigned messageBoxStyle(MessageKind kind);

// Shows the box and returns when the user has closed it. Install with setMessagePresenter.
void presentInMessageBox(const char* text, const char* caption, MessageKind kind);
