// The libftdi backend's implementation of the D2XX entry points, declared from the one list
// of entry points so the table can be filled from the same list.
#pragma once

#include "d2xx_entries.h"

namespace pxr7::libftdi {

#define LIBFTDI_DECLARE_CALL(ordinal, name, params, args) FT_STATUS D2XX_API name params;
D2XX_ENTRY_POINTS(LIBFTDI_DECLARE_CALL)
#undef LIBFTDI_DECLARE_CALL

FT_STATUS setLatencyTimer(FT_HANDLE handle, std::uint8_t milliseconds);

} // namespace pxr7::libftdi
