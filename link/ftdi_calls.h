// The libftdi backend's implementation of the D2XX entry points, declared from the lists of
// entry points (required and optional) so the table can be filled from the same lists.
#pragma once

#include "d2xx_entries.h"

namespace pxr7::libftdi {

#define LIBFTDI_DECLARE_CALL(ordinal, name, params, args) FT_STATUS D2XX_API name params;
D2XX_ALL_ENTRY_POINTS(LIBFTDI_DECLARE_CALL)
#undef LIBFTDI_DECLARE_CALL

} // namespace pxr7::libftdi
