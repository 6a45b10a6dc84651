// What the FT232R makes of the values in FTDI's vendor requests: the baud-rate divisor, the
// data characteristics and the modem-control word. Pure functions, so they can be tested with
// tables.
#pragma once

#include <cstdint>

namespace sim::usb {

// SET_BAUD_RATE carries a 17-bit divisor of the 3 MHz clock: value holds the integer part (bits
// 0-13) and the first two bits of an eighths code (14-15), index bit 0 the third. Returns the
// rate the line actually runs at; 0 for a divisor the chip cannot use.
std::uint32_t baudFromDivisor(std::uint16_t value, std::uint16_t index);

// A receiver samples within a few percent of its own rate: the standard rate the host meant,
// if the actual one is within 3 % of it, else the actual rate.
std::uint32_t nominalBaud(std::uint32_t actual);

struct DataCharacteristics {
    std::uint8_t wordLength; // 7 or 8
    std::uint8_t stopBits;   // 0 one, 1 one and a half, 2 two: FT_STOP_BITS_* numbering
    std::uint8_t parity;     // 0 none .. 4 space
    bool breakOn;
};

// SET_DATA: bits 0-7 word length, 8-10 parity, 11-13 stop bits, 14 break. False for values the
// chip does not take.
bool decodeDataCharacteristics(std::uint16_t value, DataCharacteristics& out);

// MODEM_CTRL: the high byte says which lines change (bit 0 DTR, bit 1 RTS), the low byte their
// new levels. Returns -1 when DTR is not touched, else its new level.
int dtrFromModemControl(std::uint16_t value);

} // namespace sim::usb
