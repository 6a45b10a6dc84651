// The command line's exit codes and stable error codes, documented in `pxr7 --help`, the
// README and docs/json.md, and the one table that turns an upgrade's outcome into an exit
// code and a catalogue message.
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
    EXIT_BRIDGE_REPROGRAMMED = 5, // a lead was set up or is restarting: reconnect it
    EXIT_HANDSHAKE_FAILED = 6,    // the meter never answered the reset
    EXIT_IMAGE_PROBLEM = 7,
    EXIT_CANCELLED = 8,
    EXIT_LEAD_SETUP_FAILED = 9,
    EXIT_NOT_A_METER_LEAD = 10, // no meter lead, or the bridge chosen is not one
    EXIT_BUSY = 11,             // the bridge could not be opened
    EXIT_TRANSFER_STOPPED = 12, // the transfer stopped part-way
    EXIT_VERIFY_FAILED = 13,    // the meter reports another version than the image's
    EXIT_AMBIGUOUS = 14,        // several meter leads and nothing said which
    EXIT_METER_SILENT = 15,     // the meter said nothing after the upgrade
    EXIT_HANGUP = 129,
    EXIT_INTERRUPTED = 130,
    EXIT_TERMINATED = 143,
};

// The stable error code of an exit code, for JSON ("" for success).
const char* errorCodeFor(int exitCode);

struct CommandOutcome {
    int exitCode;
    int messageIndex; // -1: no message
    MessageKind kind;
};

CommandOutcome commandOutcomeFor(const UpgradeOutcome& outcome);

} // namespace pxr7
