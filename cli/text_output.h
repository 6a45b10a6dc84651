// Output helpers: texts that come from a meter are never trusted with the terminal.
#pragma once

#include <string>

namespace pxr7 {

// Replaces control characters and bytes outside printable ASCII with '?', so a garbled or
// hostile version text cannot move the cursor or change the terminal's state.
std::string printable(const std::string& text);

// The text as a JSON string literal, quotes included.
std::string jsonString(const std::string& text);

// Whether standard output, or standard input, is an interactive terminal.
bool stdoutIsTerminal();
bool stdinIsTerminal();

} // namespace pxr7
