// Texts that come from a meter or a bridge are never trusted with a terminal.
#pragma once

#include <string>

namespace pxr7 {

// Replaces control characters and bytes outside printable ASCII with '?', so a garbled or
// hostile version text or serial number cannot move the cursor or change the terminal's state.
std::string printable(const std::string& text);

} // namespace pxr7
