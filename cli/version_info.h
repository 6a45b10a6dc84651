// What `pxr7 --version` shows: the program's version, the firmware image it carries (size,
// records, SHA-256 and whether it matches the build's, declared version, whether it is the
// stand-in) and the D2XX library it would use, as text or as one JSON object.
#pragma once

#include "command.h"

namespace pxr7 {

// Prints the lines (or the JSON object) on stdout. Loads the D2XX library to say whether it
// loads.
void printVersionInfo(const ProgramOptions& options);

} // namespace pxr7
