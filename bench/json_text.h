// A text as a JSON string literal: every byte kept, none able to break the line. The command
// line's JSON output and the record both write their strings with it.
#pragma once

#include <string>

namespace pxr7 {

// The text as a JSON string literal, quotes included.
std::string jsonString(const std::string& text);

} // namespace pxr7
