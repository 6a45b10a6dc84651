#include "ftdi_backend.h"

#include "bridge_library.h"
#include "ftdi_calls.h"
#include "ftdi_errors.h"

#include <ftdi.h>

#include <string>

namespace pxr7 {

namespace {

D2xxTable g_table{};
std::string g_name;

} // namespace

bool loadLibftdiBackend() {
    // Checks that libftdi1 can start at all before the rest of the program relies on it.
    ftdi_context* probe = ftdi_new();
    if (probe == nullptr) {
        return false;
    }
    ftdi_free(probe);
#define LIBFTDI_FILL_ENTRY(ordinal, name, params, args) g_table.name = &libftdi::name;
    D2XX_ALL_ENTRY_POINTS(LIBFTDI_FILL_ENTRY)
#undef LIBFTDI_FILL_ENTRY
    g_name = std::string("libftdi1 ") + ftdi_get_library_version().version_str;
    installBridgeTable(&g_table);
    setBridgeFailureReasonSource(&libftdi::lastErrorText);
    setBridgeOpenFailureSource(&libftdi::openFailureText);
    return true;
}

const char* bridgeBackendName() {
    if (!bridgeLibraryPresent()) {
        return "none";
    }
    return &d2xx() == &g_table ? g_name.c_str() : "D2XX";
}

FT_STATUS libftdiSetLatencyTimer(FT_HANDLE handle, std::uint8_t milliseconds) {
    return libftdi::FT_SetLatencyTimer(handle, milliseconds);
}

const char* libftdiLastError() {
    return libftdi::lastErrorText();
}

} // namespace pxr7
