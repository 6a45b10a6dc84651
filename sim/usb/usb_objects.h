// The objects behind libusb's opaque pointers, as this stand-in makes them. libusb.h declares
// the three structs without a body; the stand-in gives them one. A device stands for one
// enumeration of one bridge: after a re-enumeration the bridge is a new device with a new
// address, and the old one answers LIBUSB_ERROR_NO_DEVICE, like an unplugged device.
#pragma once

#include <cstdint>

struct libusb_context {
    int unused = 0;
};

struct libusb_device {
    int bridge;
    std::uint64_t load; // the bus load it belongs to; a reset of the stand-in starts a new one
    int generation;     // the bridge's enumeration it belongs to
    std::uint8_t address;
    int references;
};

struct libusb_device_handle {
    libusb_device* device;
    bool claimed = false;
    bool autoDetach = false;
    bool detachedByClaim = false; // the kernel driver goes back when the claim is released
};
