// The command line's exit codes, documented in `pxr7 --help` and the README.
#pragma once

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
    EXIT_INTERRUPTED = 130,
};

// The exit code for the outcome a message index reports.
int exitCodeForMessage(int messageIndex);
