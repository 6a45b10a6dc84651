#include "ftdi_eeprom_record.h"

#include <ftdi.h>

#include <cstring>
#include <string>

namespace pxr7::libftdi {

namespace {

constexpr int kRawSize = 256;        // ftdi_get_eeprom_buf's largest chip
constexpr int kSerialPointer = 0x12; // FT232R: offset (with bit 7 set) and length of the serial
constexpr int kStringScratch = 128;  // libftdi1 writes into these; we cut to FTDI's sizes
constexpr int kChecksumOffset = 0x7E;

// The invert mask's bits, and the record field each stands for.
struct InvertBit {
    int mask;
    std::uint8_t FT_PROGRAM_DATA::*field;
};
const InvertBit kInvertBits[] = {
    {INVERT_TXD, &FT_PROGRAM_DATA::InvertTXD}, {INVERT_RXD, &FT_PROGRAM_DATA::InvertRXD},
    {INVERT_RTS, &FT_PROGRAM_DATA::InvertRTS}, {INVERT_CTS, &FT_PROGRAM_DATA::InvertCTS},
    {INVERT_DTR, &FT_PROGRAM_DATA::InvertDTR}, {INVERT_DSR, &FT_PROGRAM_DATA::InvertDSR},
    {INVERT_DCD, &FT_PROGRAM_DATA::InvertDCD}, {INVERT_RI, &FT_PROGRAM_DATA::InvertRI},
};
std::uint8_t FT_PROGRAM_DATA::*const kCbus[] = {&FT_PROGRAM_DATA::Cbus0, &FT_PROGRAM_DATA::Cbus1,
                                                &FT_PROGRAM_DATA::Cbus2, &FT_PROGRAM_DATA::Cbus3,
                                                &FT_PROGRAM_DATA::Cbus4};

bool getValue(ftdi_context* ftdi, ftdi_eeprom_value name, int& value) {
    value = 0;
    return ftdi_get_eeprom_value(ftdi, name, &value) == 0;
}

void copyOut(const char* text, char* buffer, int size) {
    if (buffer == nullptr) {
        return;
    }
    std::size_t length = strnlen(text, kStringScratch);
    length =
        length < static_cast<std::size_t>(size - 1) ? length : static_cast<std::size_t>(size - 1);
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
}

// The caller's string within FTDI's size, or the stored one for a null pointer.
std::string copyIn(const char* buffer, int size, const char* stored) {
    if (buffer == nullptr) {
        return stored;
    }
    return std::string(buffer, strnlen(buffer, static_cast<std::size_t>(size - 1)));
}

// libftdi1 writes 02 03 and then 0 (plug and play) or 1 (not) after the serial string, as
// FTDI's tools do, but its decode never reads that byte back.
std::uint16_t pnpFromRaw(ftdi_context* ftdi) {
    unsigned char raw[kRawSize] = {};
    if (ftdi_get_eeprom_buf(ftdi, raw, kRawSize) != 0) {
        return 0;
    }
    const int at = (raw[kSerialPointer] & 0x7F) + raw[kSerialPointer + 1];
    return at + 3 <= kChecksumOffset && raw[at] == 0x02 && raw[at + 1] == 0x03 && raw[at + 2] == 0
               ? 1
               : 0;
}

} // namespace

bool recordHeaderValid(const FT_PROGRAM_DATA& record) {
    return record.Signature1 == 0x00000000u && record.Signature2 == 0xFFFFFFFFu &&
           record.Version >= 2;
}

namespace {

// The EEPROM's values as libftdi1 decodes them.
struct EepromValues {
    int vendor, product, selfPowered, wakeup, maxPower, useSerial, pullDowns, usbVersion,
        useUsbVersion, driver, highCurrent, extOsc, invert;
    int cbus[5] = {};
    char manufacturer[kStringScratch] = {};
    char description[kStringScratch] = {};
    char serial[kStringScratch] = {};
};

bool readValues(ftdi_context* ftdi, EepromValues& v) {
    bool read =
        getValue(ftdi, VENDOR_ID, v.vendor) && getValue(ftdi, PRODUCT_ID, v.product) &&
        getValue(ftdi, SELF_POWERED, v.selfPowered) && getValue(ftdi, REMOTE_WAKEUP, v.wakeup) &&
        getValue(ftdi, MAX_POWER, v.maxPower) && getValue(ftdi, USE_SERIAL, v.useSerial) &&
        getValue(ftdi, SUSPEND_PULL_DOWNS, v.pullDowns) &&
        getValue(ftdi, USB_VERSION, v.usbVersion) &&
        getValue(ftdi, USE_USB_VERSION, v.useUsbVersion) &&
        getValue(ftdi, CHANNEL_A_DRIVER, v.driver) && getValue(ftdi, HIGH_CURRENT, v.highCurrent) &&
        getValue(ftdi, EXTERNAL_OSCILLATOR, v.extOsc) && getValue(ftdi, INVERT, v.invert);
    for (int i = 0; i < 5; ++i) {
        read =
            read && getValue(ftdi, static_cast<ftdi_eeprom_value>(CBUS_FUNCTION_0 + i), v.cbus[i]);
    }
    return read && ftdi_eeprom_get_strings(ftdi, v.manufacturer, kStringScratch, v.description,
                                           kStringScratch, v.serial, kStringScratch) == 0;
}

} // namespace

bool recordFromEeprom(ftdi_context* ftdi, FT_PROGRAM_DATA& record) {
    EepromValues v{};
    if (!readValues(ftdi, v)) {
        return false;
    }
    record.VendorId = static_cast<std::uint16_t>(v.vendor);
    record.ProductId = static_cast<std::uint16_t>(v.product);
    record.MaxPower = static_cast<std::uint16_t>(v.maxPower);
    record.PnP = pnpFromRaw(ftdi);
    record.SelfPowered = v.selfPowered != 0;
    record.RemoteWakeup = v.wakeup != 0;
    record.USBVersion = static_cast<std::uint16_t>(v.usbVersion);
    record.USBVersionEnable = v.useUsbVersion != 0;
    record.EndpointSize = 64; // fixed on the FT232R
    record.SerNumEnableR = v.useSerial != 0;
    record.PullDownEnableR = v.pullDowns != 0;
    record.HighDriveIOs = v.highCurrent != 0;
    record.UseExtOsc = v.extOsc != 0;
    // libftdi1 1.5 decodes the FT232R's driver bit to 1 for VCP (though it encodes from
    // DRIVER_VCP); FTDI's field says D2XX.
    record.RIsD2XX = v.driver == 0;
    for (const InvertBit& bit : kInvertBits) {
        record.*bit.field = (v.invert & bit.mask) != 0;
    }
    for (int i = 0; i < 5; ++i) {
        record.*kCbus[i] = static_cast<std::uint8_t>(v.cbus[i]);
    }
    copyOut(v.manufacturer, record.Manufacturer, kManufacturerSize);
    copyOut(v.description, record.Description, kDescriptionSize);
    copyOut(v.serial, record.SerialNumber, kSerialNumberSize);
    const char manufacturerId[3] = {v.serial[0], v.serial[0] != '\0' ? v.serial[1] : '\0', '\0'};
    copyOut(manufacturerId, record.ManufacturerId, kManufacturerIdSize);
    return true;
}

bool eepromFromRecord(ftdi_context* ftdi, const FT_PROGRAM_DATA& record) {
    char manufacturer[kStringScratch] = {};
    char description[kStringScratch] = {};
    char serial[kStringScratch] = {};
    if (ftdi_eeprom_get_strings(ftdi, manufacturer, kStringScratch, description, kStringScratch,
                                serial, kStringScratch) != 0) {
        return false;
    }
    int invert = 0;
    for (const InvertBit& bit : kInvertBits) {
        invert |= record.*bit.field != 0 ? bit.mask : 0;
    }
    const struct {
        ftdi_eeprom_value name;
        int value;
    } values[] = {
        {VENDOR_ID, record.VendorId},
        {PRODUCT_ID, record.ProductId},
        {MAX_POWER, record.MaxPower},
        {IS_NOT_PNP, record.PnP == 0},
        {SELF_POWERED, record.SelfPowered != 0},
        {REMOTE_WAKEUP, record.RemoteWakeup != 0},
        {USE_SERIAL, record.SerNumEnableR != 0},
        {SUSPEND_PULL_DOWNS, record.PullDownEnableR != 0},
        {HIGH_CURRENT, record.HighDriveIOs != 0 ? HIGH_CURRENT_DRIVE_R : 0},
        {EXTERNAL_OSCILLATOR, record.UseExtOsc != 0},
        {CHANNEL_A_DRIVER, record.RIsD2XX != 0 ? 0 : DRIVER_VCP},
        {INVERT, invert},
        {CBUS_FUNCTION_0, record.Cbus0},
        {CBUS_FUNCTION_1, record.Cbus1},
        {CBUS_FUNCTION_2, record.Cbus2},
        {CBUS_FUNCTION_3, record.Cbus3},
        {CBUS_FUNCTION_4, record.Cbus4},
    };
    for (const auto& v : values) {
        if (ftdi_set_eeprom_value(ftdi, v.name, v.value) != 0) {
            return false;
        }
    }
    std::string newManufacturer = copyIn(record.Manufacturer, kManufacturerSize, manufacturer);
    std::string newDescription = copyIn(record.Description, kDescriptionSize, description);
    std::string newSerial = copyIn(record.SerialNumber, kSerialNumberSize, serial);
    return ftdi_eeprom_set_strings(ftdi, newManufacturer.c_str(), newDescription.c_str(),
                                   newSerial.c_str()) == 0;
}

} // namespace pxr7::libftdi
