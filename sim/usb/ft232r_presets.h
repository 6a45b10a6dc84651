// EEPROM images of the scenario presets as libftdi1's own encoder builds them, made at build
// time by make_ft232r_presets (see README.md). The blank build of the stand-in, which that
// generator runs against, has none.
#pragma once

#include "ft232r_eeprom.h"

#include <cstddef>

namespace sim::usb {

struct PresetImage {
    const char* preset; // "factory" or "right"
    const char* serial;
    Ft232rEeprom image;
};

const PresetImage* presetImages(std::size_t& count);

} // namespace sim::usb
