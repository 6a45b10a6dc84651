// The blank stand-in: no libftdi1-built images; every chip starts from our own encoding.
#include "ft232r_presets.h"

namespace sim::usb {

const PresetImage* presetImages(std::size_t& count) {
    count = 0;
    return nullptr;
}

} // namespace sim::usb
