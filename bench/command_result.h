// What a command, or one step of it, came to: the outcome and the line that says why, in
// plain words, with what to do next. The front end shows the line and ends with the outcome's
// exit code.
#pragma once

#include "exit_codes.h"

#include <string>

namespace pxr7 {

struct CommandResult {
    Outcome outcome = Outcome::Ok;
    std::string diagnosis; // empty for a success, or where nothing more needs saying

    bool ok() const { return outcome == Outcome::Ok; }
    const char* errorWord() const { return errorWordFor(outcome); }
};

inline CommandResult failure(Outcome outcome, std::string diagnosis) {
    return CommandResult{outcome, std::move(diagnosis)};
}

} // namespace pxr7
