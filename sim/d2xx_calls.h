// The simulator's implementation of the D2XX entry points, declared from the lists of entry
// points (required and optional); exports.cpp makes each of them a C export of the library.
#pragma once

#include "d2xx_entries.h"

namespace sim {

using namespace pxr7::ftd2xx;
namespace calls {

#define SIM_DECLARE_CALL(ordinal, name, params, args) FT_STATUS name params;
D2XX_ALL_ENTRY_POINTS(SIM_DECLARE_CALL)
#undef SIM_DECLARE_CALL

// Forgets all handles and state and reads the scenario and trace path again.
void resetFromEnvironment();

} // namespace calls
} // namespace sim
