// Runs the command chosen: the opening steps it declared (the driver, the survey of the
// bridges, a database client), each done once and here, then the command itself.
#pragma once

#include "command.h"

namespace pxr7 {

// The command's outcome.
Outcome runCommand(CliCommand& command, const ProgramOptions& program);

} // namespace pxr7
