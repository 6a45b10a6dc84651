// The FT232R's internal EEPROM as the chip holds it: 64 little-endian words (128 bytes) in the
// layout libftdi1 builds for an FT232R, with FTDI's checksum in the last word. Converts to and
// from the simulator's EepromImage, so the scenario presets and the state file keep working
// one level down.
#pragma once

#include "eeprom_image.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace sim::usb {

constexpr std::size_t kEepromBytes = 128;
constexpr std::size_t kEepromWords = kEepromBytes / 2;
constexpr std::uint16_t kReleaseNumber232R = 0x0600; // bcdDevice: what marks the chip as FT232R

using Ft232rEeprom = std::array<std::uint8_t, kEepromBytes>;

std::uint16_t eepromWord(const Ft232rEeprom& raw, std::size_t word);
void setEepromWord(Ft232rEeprom& raw, std::size_t word, std::uint16_t value);

// FTDI's checksum over every word but the last.
std::uint16_t eepromChecksum(const Ft232rEeprom& raw);
bool eepromChecksumValid(const Ft232rEeprom& raw);

// The fields an FT232R stores, the strings as USB string descriptors, and the checksum.
// Strings that do not fit the string area are cut, serial first.
Ft232rEeprom encodeEeprom(const EepromImage& image);

// Overwrites the fields an FT232R stores and keeps the rest of image (ManufacturerId and the
// other chips' fields have no place in this EEPROM). False, with image untouched, for a bad
// checksum or a string table pointing outside the EEPROM.
bool decodeEeprom(const Ft232rEeprom& raw, EepromImage& image);

} // namespace sim::usb
