// A record line as the history's pages give it: its bytes as they stand in the record, never
// parsed and written again (a reader compares them with the JSON Lines export), with what the
// page adds to them spliced in.
#pragma once

#include "record_index.h"

#include <string>

namespace pxr7 {

// bytes (the line, a JSON object, as the index took it) with "line", its number in the file,
// first; and its bench and seq as a reader of the record takes them (record_json.h) where the
// line holds another value for them (a bench of "", one written as its bytes one per
// character) or none at all (an old line's derived ones, at its end). A key the line holds
// more than once has the value of its last (as a JSON reader takes it): only that one is
// replaced.
std::string numberedLine(const IndexedLine& indexed, const std::string& bytes);

} // namespace pxr7
