// What a command, or one step of it, came to: the exit code and the line that says why, in
// plain words, with what to do next. The front end shows the line and ends with the code.
#pragma once

#include "exit_codes.h"

#include <string>

namespace pxr7 {

struct CommandResult {
    int exitCode = EXIT_OK;
    std::string diagnosis; // empty for a success, or where nothing more needs saying

    bool ok() const { return exitCode == EXIT_OK; }
    const char* errorWord() const { return errorWordFor(exitCode); }
};

inline CommandResult failure(int exitCode, std::string diagnosis) {
    return CommandResult{exitCode, std::move(diagnosis)};
}

} // namespace pxr7
