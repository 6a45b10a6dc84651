#include "eeprom_image.h"

#include "key_value_text.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

namespace sim {

namespace {

constexpr std::uint8_t kCbusTxLed = 0x03;
constexpr std::uint8_t kCbusRxLed = 0x02;
constexpr std::uint8_t kCbusTxDen = 0x00;
constexpr std::uint8_t kCbusPwrOn = 0x01;
constexpr char kPadding = '#';

EepromImage commonEeprom(const std::string& serialNumber) {
    EepromImage image;
    FT_PROGRAM_DATA& n = image.numbers;
    n.VendorId = 0x0403;
    n.ProductId = 0x6001;
    n.MaxPower = 90;
    n.RemoteWakeup = 1;
    n.USBVersion = 0x0200;
    n.EndpointSize = 64;
    n.SerNumEnableR = 1;
    n.Cbus0 = kCbusTxLed;
    n.Cbus1 = kCbusRxLed;
    n.Cbus2 = kCbusTxDen;
    n.Cbus3 = kCbusPwrOn;
    image.manufacturer = "FTDI";
    image.manufacturerId = "FT";
    image.serialNumber = serialNumber;
    return image;
}

void copyStringOut(const std::string& value, char* buffer, std::size_t size, bool unterminated) {
    if (buffer == nullptr) {
        return;
    }
    if (unterminated) {
        // What a broken library might leave: the text, then visible padding, no zero at all.
        for (std::size_t i = 0; i < size; ++i) {
            const char c = i < value.size() ? value[i] : kPadding;
            buffer[i] = c >= 0x20 && c < 0x7F ? c : kPadding;
        }
        return;
    }
    const std::size_t length = value.size() < size - 1 ? value.size() : size - 1;
    std::memcpy(buffer, value.data(), length);
    buffer[length] = '\0';
}

void copyStringIn(const char* buffer, std::size_t size, std::string& value) {
    if (buffer == nullptr) {
        return;
    }
    // Never read past FTDI's buffer size, terminated or not; the EEPROM holds one less.
    std::size_t length = 0;
    while (length < size - 1 && buffer[length] != '\0') {
        ++length;
    }
    value.assign(buffer, length);
}

template <typename Field> bool fitsField(long value) {
    return value >= 0 && static_cast<unsigned long>(value) <= std::numeric_limits<Field>::max();
}

} // namespace

EepromImage rightEeprom(const std::string& serialNumber) {
    EepromImage image = commonEeprom(serialNumber);
    image.numbers.PnP = 0;
    image.numbers.SelfPowered = 0;
    image.numbers.InvertDTR = 1;
    image.numbers.Cbus4 = FT_232R_CBUS_SLEEP;
    image.description = "Tavelin QVRX";
    return image;
}

EepromImage factoryEeprom(const std::string& serialNumber) {
    EepromImage image = commonEeprom(serialNumber);
    image.numbers.PnP = 1;
    image.numbers.InvertDTR = 0;
    // A chip straight from FTDI has SLEEP here; the rig's factory-fresh bridges carry PWRON so
    // that every rule of the host's correction is exercised.
    image.numbers.Cbus4 = kCbusPwrOn;
    image.description = "FT232R USB UART";
    return image;
}

bool setEepromNumber(EepromImage& image, const std::string& name, long value) {
#define SIM_SET_FIELD(field)                                                                       \
    if (name == #field) {                                                                          \
        using Field = std::remove_reference_t<decltype(image.numbers.field)>;                      \
        if (!fitsField<Field>(value)) {                                                            \
            return false;                                                                          \
        }                                                                                          \
        image.numbers.field = static_cast<Field>(value);                                           \
        return true;                                                                               \
    }
    SIM_EEPROM_NUMBER_FIELDS(SIM_SET_FIELD)
#undef SIM_SET_FIELD
    return false;
}

void copyEepromOut(const EepromImage& image, FT_PROGRAM_DATA& record,
                   const UnterminatedStrings& unterminated) {
#define SIM_COPY_OUT(field) record.field = image.numbers.field;
    SIM_EEPROM_NUMBER_FIELDS(SIM_COPY_OUT)
#undef SIM_COPY_OUT
    copyStringOut(image.manufacturer, record.Manufacturer, kManufacturerSize,
                  unterminated.manufacturer);
    copyStringOut(image.manufacturerId, record.ManufacturerId, kManufacturerIdSize,
                  unterminated.manufacturerId);
    copyStringOut(image.description, record.Description, kDescriptionSize,
                  unterminated.description);
    copyStringOut(image.serialNumber, record.SerialNumber, kSerialNumberSize,
                  unterminated.serialNumber);
}

void copyEepromIn(const FT_PROGRAM_DATA& record, EepromImage& image) {
#define SIM_COPY_IN(field) image.numbers.field = record.field;
    SIM_EEPROM_NUMBER_FIELDS(SIM_COPY_IN)
#undef SIM_COPY_IN
    copyStringIn(record.Manufacturer, kManufacturerSize, image.manufacturer);
    copyStringIn(record.ManufacturerId, kManufacturerIdSize, image.manufacturerId);
    copyStringIn(record.Description, kDescriptionSize, image.description);
    copyStringIn(record.SerialNumber, kSerialNumberSize, image.serialNumber);
}

bool eepromRecordHeaderValid(const FT_PROGRAM_DATA& record) {
    return record.Signature1 == 0x00000000u && record.Signature2 == 0xFFFFFFFFu &&
           record.Version >= 2;
}

std::string eepromToText(const EepromImage& image) {
    std::string text;
    text += "Manufacturer = " + quoteValue(image.manufacturer) + "\n";
    text += "ManufacturerId = " + quoteValue(image.manufacturerId) + "\n";
    text += "Description = " + quoteValue(image.description) + "\n";
    text += "SerialNumber = " + quoteValue(image.serialNumber) + "\n";
#define SIM_FIELD_TEXT(field)                                                                      \
    text += #field " = " + std::to_string(static_cast<unsigned>(image.numbers.field)) + "\n";
    SIM_EEPROM_NUMBER_FIELDS(SIM_FIELD_TEXT)
#undef SIM_FIELD_TEXT
    return text;
}

bool eepromFieldFromText(EepromImage& image, const std::string& name, const std::string& value) {
    if (name == "Manufacturer") {
        image.manufacturer = value.substr(0, kManufacturerSize - 1);
    } else if (name == "ManufacturerId") {
        image.manufacturerId = value.substr(0, kManufacturerIdSize - 1);
    } else if (name == "Description") {
        image.description = value.substr(0, kDescriptionSize - 1);
    } else if (name == "SerialNumber") {
        image.serialNumber = value.substr(0, kSerialNumberSize - 1);
    } else {
        char* end = nullptr;
        const long number = std::strtol(value.c_str(), &end, 0);
        return !value.empty() && *end == '\0' && setEepromNumber(image, name, number);
    }
    return true;
}

} // namespace sim
