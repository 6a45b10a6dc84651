#include "sio_values.h"

namespace sim::usb {

namespace {

constexpr std::uint32_t kClock = 3000000;
// Eighths added to the integer divisor, by the chip's 3-bit code.
constexpr std::uint32_t kEighths[8] = {0, 4, 2, 1, 3, 5, 6, 7};
constexpr std::uint32_t kStandardRates[] = {300,    600,    1200,   2400,    4800,    9600,
                                            14400,  19200,  38400,  57600,   115200,  230400,
                                            460800, 921600, 500000, 1000000, 2000000, 3000000};

} // namespace

std::uint32_t baudFromDivisor(std::uint16_t value, std::uint16_t index) {
    const std::uint32_t integer = value & 0x3FFFu;
    const std::uint32_t code = ((value >> 14) & 0x3u) | ((index & 0x1u) << 2);
    // Two divisors are special: 0 is 3 MHz and 1 is 2 MHz.
    if (code == 0 && integer == 0) {
        return kClock;
    }
    if (code == 0 && integer == 1) {
        return 2000000;
    }
    const std::uint32_t eighths = integer * 8 + kEighths[code];
    if (integer < 2) {
        return 0; // fractions below 2 are not valid
    }
    return (kClock * 8 + eighths / 2) / eighths;
}

std::uint32_t nominalBaud(std::uint32_t actual) {
    for (const std::uint32_t rate : kStandardRates) {
        const std::uint32_t difference = actual > rate ? actual - rate : rate - actual;
        if (static_cast<std::uint64_t>(difference) * 100 <= static_cast<std::uint64_t>(rate) * 3) {
            return rate;
        }
    }
    return actual;
}

bool decodeDataCharacteristics(std::uint16_t value, DataCharacteristics& out) {
    const std::uint8_t bits = static_cast<std::uint8_t>(value & 0xFF);
    const std::uint8_t parity = static_cast<std::uint8_t>((value >> 8) & 0x7);
    const std::uint8_t stop = static_cast<std::uint8_t>((value >> 11) & 0x7);
    if ((bits != 7 && bits != 8) || parity > 4 || stop > 2) {
        return false;
    }
    out = DataCharacteristics{bits, stop, parity, ((value >> 14) & 1) != 0};
    return true;
}

int dtrFromModemControl(std::uint16_t value) {
    if ((value & 0x0100) == 0) {
        return -1;
    }
    return value & 0x0001;
}

} // namespace sim::usb
