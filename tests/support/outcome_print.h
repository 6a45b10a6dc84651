// How a test failure shows an Outcome: its number and its word, not its bytes.
#pragma once

#include "exit_codes.h"

#include <ostream>

namespace pxr7 {

inline void PrintTo(Outcome outcome, std::ostream* out) {
    *out << exitCodeOf(outcome) << " (" << outcomeWordFor(outcome) << ")";
}

} // namespace pxr7
