// A strict check that a line is one JSON object (RFC 8259 grammar), for tests of the program's
// machine-readable output.
#pragma once

#include <string>

namespace simrig {

bool isJsonObject(const std::string& text);

} // namespace simrig
