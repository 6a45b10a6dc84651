// Run-time binding of the D2XX library. The library is loaded once and stays loaded for the
// whole run; whether it loaded is the driver-present flag the rest of the system tests.
#pragma once

#include "d2xx_entries.h"

#include <string>

namespace pxr7 {

// Loads the library by its platform name ("Ftd2xx.dll" on Windows, searched in the program's
// directory and the system directories only, never the working directory; libftd2xx.so or
// libftd2xx.dylib elsewhere) and binds all sixteen entry points, and the optional ones it
// has. A library that loads but lacks any of the sixteen is unloaded and counts as not
// present; one lacking an optional entry is used with that entry null. Returns the
// driver-present flag. problem, if given, receives the reason when it fails: the loader's own
// words, or the entry point the library lacks.
bool loadBridgeLibrary(std::string* problem = nullptr);

// The name loadBridgeLibrary() loads: "Ftd2xx.dll", "libftd2xx.so" or "libftd2xx.dylib".
const char* defaultBridgeLibraryName();

// The same from an explicit path (a front end's --driver option, the tests, the demos).
bool loadBridgeLibraryFrom(const char* path, std::string* problem = nullptr);

// The driver-present flag.
bool bridgeLibraryPresent();

// Whether d2xx().FT_SetLatencyTimer may be called: a library is present and has the entry.
bool bridgeHasLatencyTimer();

// Whether the library can tell where each bridge sits on the bus: it has both
// FT_CreateDeviceInfoList and FT_GetDeviceInfoDetail.
bool bridgeHasLocations();

// The backend's own words for its latest failure in this thread ("" if it keeps none, as
// FTDI's library does not): what the user is told besides a status.
std::string bridgeFailureReason();
// Set by a backend that keeps such words; null for none. Loading a D2XX library clears it.
void setBridgeFailureReasonSource(const char* (*source)());

// The backend's own words for why bridge index could not be opened or taken over for the
// serial side: what happened and what to do ("" if it keeps none, as FTDI's library does not).
// A negative index asks for the latest such failure of any bridge.
std::string bridgeOpenFailure(int index);
// Set by a backend that keeps such words; null for none. Loading a D2XX library clears it.
void setBridgeOpenFailureSource(std::string (*source)(int index));

// The bound entry points. Only meaningful while bridgeLibraryPresent() is true.
const D2xxTable& d2xx();

// Test seam: serve the entry points from an in-process table instead of a shared library.
// The table must outlive its use; null returns to "not present".
void installBridgeTable(const D2xxTable* table);

} // namespace pxr7
