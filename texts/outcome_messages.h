// The Windows program's one table from an upgrade's outcome to its message box: a message
// index and the box's kind. Portable, so the native tests check it.
#pragma once

#include "message_catalogue.h"
#include "upgrade_outcome.h"

namespace pxr7 {

struct OutcomeMessage {
    int index; // -1: the outcome shows no box
    MessageKind kind;
};

OutcomeMessage outcomeMessageFor(UpgradeResult result);

} // namespace pxr7
