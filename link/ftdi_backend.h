// The second bridge backend: the sixteen D2XX entry points and the optional
// FT_SetLatencyTimer implemented over the open-source libftdi1, installed into the same table
// the D2XX binding fills, so DevicePort, the version query and the upgrade run unchanged
// above it. Linux and macOS only; never part of a Windows program. Handles are our own
// tokens: null, closed and unknown handles get FT_INVALID_HANDLE, and a bridge that
// re-enumerated after FT_CyclePort leaves a handle that only FT_Close still accepts (every
// other call gives FT_IO_ERROR).
#pragma once

#include "d2xx_types.h"

#include <cstdint>

namespace pxr7 {

// Installs the libftdi1 table with installBridgeTable: bridgeLibraryPresent() turns true and
// d2xx() reaches libftdi1. Returns false, installing nothing, if libftdi1 cannot start (no
// USB context).
bool loadLibftdiBackend();

// Which backend serves d2xx(): "libftdi1 <version>" for this one, "D2XX" for a bound D2XX
// library, "none" without either.
const char* bridgeBackendName();

// FT_SetLatencyTimer over libftdi1 (also the table's entry): the bridge holds received bytes
// up to this long (1-255 ms) before sending a short packet. FT_INVALID_PARAMETER outside that
// range.
FT_STATUS libftdiSetLatencyTimer(FT_HANDLE handle, std::uint8_t milliseconds);

// The last failure of a libftdi call in this thread in plain words, "" if none yet: a hint
// about device permissions and the udev rule when access was refused, "device vanished" when
// the bridge left the bus. Valid until the thread's next failing call.
const char* libftdiLastError();

} // namespace pxr7
