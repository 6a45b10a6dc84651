// What a simulated FT232R shows the host when it enumerates: the fields of its device and
// configuration descriptors and its three strings, read from the EEPROM it enumerated with.
// A chip whose EEPROM does not decode shows FTDI's built-in defaults, as a blank chip does.
#pragma once

#include "ft232r_eeprom.h"

#include <libusb.h>

#include <string>

namespace sim::usb {

struct DeviceView {
    std::uint16_t vendorId;
    std::uint16_t productId;
    std::uint16_t usbVersion;
    std::uint8_t attributes; // configuration bmAttributes
    std::uint8_t maxPower;   // in 2 mA units
    std::string manufacturer;
    std::string product;
    std::string serial; // empty: no serial string
};

DeviceView viewOf(const Ft232rEeprom& enumerated);

void fillDeviceDescriptor(const DeviceView& view, libusb_device_descriptor& out);

// One configuration, one interface, bulk endpoints 0x81 and 0x02 of 64 bytes, in one block of
// memory that freeConfigDescriptor releases. Null if out of memory.
libusb_config_descriptor* newConfigDescriptor(const DeviceView& view);
void freeConfigDescriptor(libusb_config_descriptor* config);

// The string descriptor by index (1 manufacturer, 2 product, 3 serial); false if there is none.
bool stringOf(const DeviceView& view, std::uint8_t index, std::string& text);

} // namespace sim::usb
