// FTDI's FT_PROGRAM_DATA record and libftdi1's view of an FT232R EEPROM, in both directions.
// Works on a context whose EEPROM libftdi1 has read and decoded.
#pragma once

#include "d2xx_types.h"

struct ftdi_context;

namespace pxr7::libftdi {

// FTDI's buffer sizes for the four strings of FT_EE_Read, terminating zero included.
constexpr int kManufacturerSize = 32;
constexpr int kManufacturerIdSize = 16;
constexpr int kDescriptionSize = 64;
constexpr int kSerialNumberSize = 16;

// FTDI's signatures and version 2 (the FT232R form) or later.
bool recordHeaderValid(const FT_PROGRAM_DATA& record);

// Fills every field libftdi1 knows for an FT232R (PnP from the raw image, which libftdi1's
// decode does not read back) and copies the strings into the caller's buffers, each cut to
// FTDI's size and zero-terminated; a null buffer is skipped. ManufacturerId is the serial
// number's first two characters, as FTDI makes it. False if libftdi1 refuses a value.
bool recordFromEeprom(ftdi_context* ftdi, FT_PROGRAM_DATA& record);

// Sets every field the FT232R stores from the record, on top of the image as read (fields
// without a place in the record stay as they were). Strings are read within FTDI's sizes; a
// null string keeps the stored one. False if libftdi1 refuses a value.
bool eepromFromRecord(ftdi_context* ftdi, const FT_PROGRAM_DATA& record);

} // namespace pxr7::libftdi
