// UTF-8 for the texts people type: bench, lane and operator names, unit ids. A meter's own
// texts (versions, serial numbers) are bytes and stay so (json_text.h, printable.h).
#pragma once

#include <string>

namespace pxr7 {

// Whether text is well-formed UTF-8: no stray continuation bytes, no overlong forms, no
// surrogates, nothing beyond U+10FFFF.
bool isUtf8(const std::string& text);

// The text for a terminal, one line, nothing that moves the cursor or changes its state:
// printable ASCII as it is; on a UTF-8 terminal other printable characters too; control and
// formatting characters (C0, DEL, C1, line and paragraph separators, direction overrides) and,
// elsewhere, every character beyond ASCII as \u{XXXX}; bytes that are not UTF-8 as '?'.
std::string printableName(const std::string& text, bool utf8Terminal);

} // namespace pxr7
