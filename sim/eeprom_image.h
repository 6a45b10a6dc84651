// One bridge's EEPROM: every numeric field of FTDI's version-2 record (the FT232R form) and
// the four strings, held by value. The field list below drives reading, programming and the
// state file alike.
#pragma once

#include "d2xx_types.h"

#include <string>

namespace sim {

using namespace pxr7::ftd2xx;

// The numeric fields of the version-0, -1 and -2 revision groups, in FTDI's order.
#define SIM_EEPROM_NUMBER_FIELDS(X)                                                                \
    X(VendorId)                                                                                    \
    X(ProductId)                                                                                   \
    X(MaxPower)                                                                                    \
    X(PnP)                                                                                         \
    X(SelfPowered)                                                                                 \
    X(RemoteWakeup) X(Rev4) X(IsoIn) X(IsoOut) X(PullDownEnable) X(SerNumEnable)                   \
        X(USBVersionEnable) X(USBVersion) X(Rev5) X(IsoInA) X(IsoInB) X(IsoOutA) X(IsoOutB)        \
            X(PullDownEnable5) X(SerNumEnable5) X(USBVersionEnable5) X(USBVersion5)                \
                X(AIsHighCurrent) X(BIsHighCurrent) X(IFAIsFifo) X(IFAIsFifoTar) X(IFAIsFastSer)   \
                    X(AIsVCP) X(IFBIsFifo) X(IFBIsFifoTar) X(IFBIsFastSer) X(BIsVCP) X(UseExtOsc)  \
                        X(HighDriveIOs) X(EndpointSize) X(PullDownEnableR) X(SerNumEnableR)        \
                            X(InvertTXD) X(InvertRXD) X(InvertRTS) X(InvertCTS) X(InvertDTR)       \
                                X(InvertDSR) X(InvertDCD) X(InvertRI) X(Cbus0) X(Cbus1) X(Cbus2)   \
                                    X(Cbus3) X(Cbus4) X(RIsD2XX)

// FTDI's buffer sizes for the strings (terminating zero included).
constexpr std::size_t kManufacturerSize = 32;
constexpr std::size_t kManufacturerIdSize = 16;
constexpr std::size_t kDescriptionSize = 64;
constexpr std::size_t kSerialNumberSize = 16;

// The strings FT_EE_Read hands out without a terminating zero (scenario key unterminated).
struct UnterminatedStrings {
    bool manufacturer = false;
    bool manufacturerId = false;
    bool description = false;
    bool serialNumber = false;
};

struct EepromImage {
    FT_PROGRAM_DATA numbers{}; // string pointers unused (null)
    std::string manufacturer;
    std::string manufacturerId;
    std::string description;
    std::string serialNumber;
};

// The settings the PXR7 host requires ("right"), and a factory-fresh FT232R as far as the host
// cares ("factory": PnP 1, InvertDTR 0, description "FT232R USB UART", CBUS4 PWRON).
EepromImage rightEeprom(const std::string& serialNumber);
EepromImage factoryEeprom(const std::string& serialNumber);

// Sets a numeric field by its FTDI name; false for an unknown name.
bool setEepromNumber(EepromImage& image, const std::string& name, long value);

// FT_EE_Read: fills the caller's record. Numbers of the version-0..2 groups are copied; each
// string goes to the caller's buffer (skipped if its pointer is null), cut to FTDI's buffer
// size and zero-terminated. A string named in unterminated fills its whole buffer with
// printable characters instead and has no zero.
void copyEepromOut(const EepromImage& image, FT_PROGRAM_DATA& record,
                   const UnterminatedStrings& unterminated = UnterminatedStrings());

// FT_EE_Program: takes the caller's record. Strings are read up to FTDI's sizes; a null string
// pointer keeps the stored string (the driver would make one up).
void copyEepromIn(const FT_PROGRAM_DATA& record, EepromImage& image);

// The record a caller passes is usable only with FTDI's signatures and version 2 or later.
bool eepromRecordHeaderValid(const FT_PROGRAM_DATA& record);

// State-file form: one `name = value` line per field.
std::string eepromToText(const EepromImage& image);
// Applies one state-file line; false if the name is not an EEPROM field.
bool eepromFieldFromText(EepromImage& image, const std::string& name, const std::string& value);

} // namespace sim
