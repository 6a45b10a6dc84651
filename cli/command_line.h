// The command line's arguments: the program's options, then the one command chosen, whose own
// options its object registered and holds.
#pragma once

#include "command.h"

namespace pxr7 {

struct ParsedLine {
    int exitCode = -1;             // -1: run `command`; else end with it, the output printed
    CliCommand* command = nullptr; // the command chosen (one of those given)
};

// Parses argv. Ends with 0 after --help or --version output, 2 after a usage error: two lines on
// stderr, "pxr7: <what>" and "Try 'pxr7 --help'.".
ParsedLine parseCommandLine(int argc, char** argv,
                            const std::vector<std::unique_ptr<CliCommand>>& commands,
                            ProgramOptions& program);

} // namespace pxr7
