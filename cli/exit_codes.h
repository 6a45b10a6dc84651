// The command line's exit codes, documented in `pxr7 --help` and the README, and the one
// table that turns an upgrade's outcome into an exit code and a catalogue message.
#pragma once

#include "message_catalogue.h"
#include "upgrade_outcome.h"

namespace pxr7 {

enum ExitCode : int {
    EXIT_OK = 0,
    EXIT_FAILURE_OTHER = 1,
    EXIT_USAGE = 2,
    EXIT_NO_DRIVER = 3,
    EXIT_PORT_ERROR = 4,
    EXIT_BRIDGE_REPROGRAMMED = 5,
    EXIT_HANDSHAKE_FAILED = 6,
    EXIT_IMAGE_PROBLEM = 7,
    EXIT_CANCELLED = 8,
    EXIT_LEAD_SETUP_FAILED = 9,
    EXIT_NOT_A_METER_LEAD = 10,
    EXIT_INTERRUPTED = 130,
};

struct CommandOutcome {
    int exitCode;
    int messageIndex; // -1: no message
    MessageKind kind;
    const char* detail; // a line after the message that says what to do, or null
};

CommandOutcome commandOutcomeFor(UpgradeResult result);

} // namespace pxr7
