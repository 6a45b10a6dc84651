// The one table that turns an upgrade's outcome into the command line's exit code and the
// catalogue message a person sees first.
#pragma once

#include "message_catalogue.h"
#include "upgrade_outcome.h"

namespace pxr7 {

struct CommandOutcome {
    int exitCode;
    int messageIndex; // -1: no message
    MessageKind kind;
};

CommandOutcome commandOutcomeFor(const UpgradeOutcome& outcome);

} // namespace pxr7
