// The command line's arguments: the program's options, then the one command chosen, whose own
// options its object registered and holds.
#pragma once

#include "command.h"
#include "exit_codes.h"

namespace pxr7 {

struct ParsedLine {
    Outcome outcome = Outcome::Ok; // without a command: end with it, the output printed
    CliCommand* command = nullptr; // the command chosen (one of those given), to run
};

// Parses argv. Ends with Ok after --help or --version output, Usage after a usage error: two
// lines on stderr, "pxr7: <what>" and "Try 'pxr7 --help'.".
ParsedLine parseCommandLine(int argc, char** argv,
                            const std::vector<std::unique_ptr<CliCommand>>& commands,
                            ProgramOptions& program);

} // namespace pxr7
