// Plain-words text for the libftdi backend's failures, kept per thread for
// libftdiLastError(). Turning a libftdi or libusb failure into a D2XX status happens here
// too, so every call maps them the same way.
#pragma once

#include "d2xx_types.h"

#include <string>

struct ftdi_context;
struct libusb_device;

namespace pxr7::libftdi {

// A libftdi call on ftdi failed with code: keeps "<what>: <libftdi's text>", or the
// permission hint or "device vanished" when those are the cause. Returns failure, so a call
// can end with `return ftdiFailure(...)`.
FT_STATUS ftdiFailure(ftdi_context* ftdi, int code, const char* what, FT_STATUS failure);

// The same for a libusb call that returned the libusb error code.
FT_STATUS usbFailure(int code, const char* what, FT_STATUS failure);

// A failure with our own words.
FT_STATUS plainFailure(const char* text, FT_STATUS failure);

// Access to the bridge's USB device node was refused: the node and what to do.
std::string accessReason(libusb_device* device);

// A bridge could not be opened or taken over for the serial side: keeps the reason, for
// bridgeOpenFailure() and as this thread's latest failure. forget drops it after a success.
FT_STATUS openFailure(int index, const std::string& reason, FT_STATUS failure);
void forgetOpenFailure(int index);
std::string openFailureText(int index);

// True when the bridge behind ftdi is no longer on the bus.
bool deviceVanished(ftdi_context* ftdi);

const char* lastErrorText();

} // namespace pxr7::libftdi
