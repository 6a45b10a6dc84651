#include "ft232r_eeprom.h"

#include <string>

namespace sim::usb {

namespace {

// Byte offsets of the FT232R layout.
constexpr std::size_t kFlags = 0x00;
constexpr std::size_t kEndpointSize = 0x01;
constexpr std::size_t kVendorId = 0x02;
constexpr std::size_t kProductId = 0x04;
constexpr std::size_t kRelease = 0x06;
constexpr std::size_t kConfig = 0x08;
constexpr std::size_t kMaxPower = 0x09;
constexpr std::size_t kOptions = 0x0A;
constexpr std::size_t kInvert = 0x0B;
constexpr std::size_t kUsbVersion = 0x0C;
constexpr std::size_t kStringTable = 0x0E; // three (0x80 | offset, length) pairs
constexpr std::size_t kCbus01 = 0x14;
constexpr std::size_t kCbus23 = 0x15;
constexpr std::size_t kCbus4 = 0x16;
constexpr std::size_t kStringArea = 0x18;
constexpr std::size_t kChecksum = kEepromBytes - 2;

constexpr std::uint8_t kExtOscBit = 0x02;
constexpr std::uint8_t kHighDriveBit = 0x04;
constexpr std::uint8_t kD2xxBit = 0x08;
constexpr std::uint8_t kConfigAlwaysSet = 0x80;
constexpr std::uint8_t kSelfPoweredBit = 0x40;
constexpr std::uint8_t kRemoteWakeupBit = 0x20;
constexpr std::uint8_t kPullDownBit = 0x04;
constexpr std::uint8_t kSerialBit = 0x08;
constexpr std::uint8_t kStringDescriptorType = 0x03;
constexpr std::uint8_t kStringOffsetFlag = 0x80;

// Three bytes follow the serial string, as FTDI's tools write them: 02 03, then 0 for plug
// and play, 1 for not.
constexpr std::uint8_t kPnpMarker0 = 0x02;
constexpr std::uint8_t kPnpMarker1 = 0x03;
constexpr std::size_t kPnpBytes = 3;

std::uint8_t bit(bool on, std::uint8_t mask) {
    return on ? mask : 0;
}

void put16(Ft232rEeprom& raw, std::size_t at, std::uint16_t value) {
    raw[at] = static_cast<std::uint8_t>(value & 0xFF);
    raw[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint16_t get16(const Ft232rEeprom& raw, std::size_t at) {
    return static_cast<std::uint16_t>(raw[at] | (raw[at + 1] << 8));
}

// Writes text as a USB string descriptor at at; returns its length in bytes.
std::size_t putString(Ft232rEeprom& raw, std::size_t at, const std::string& text) {
    const std::size_t length = 2 + 2 * text.size();
    raw[at] = static_cast<std::uint8_t>(length);
    raw[at + 1] = kStringDescriptorType;
    for (std::size_t i = 0; i < text.size(); ++i) {
        raw[at + 2 + 2 * i] = static_cast<std::uint8_t>(text[i]);
        raw[at + 3 + 2 * i] = 0;
    }
    return length;
}

bool getString(const Ft232rEeprom& raw, std::size_t entry, std::string& text) {
    const std::size_t pointer = raw[kStringTable + 2 * entry];
    const std::size_t length = raw[kStringTable + 2 * entry + 1];
    const std::size_t at = pointer & ~std::size_t{kStringOffsetFlag};
    if (length < 2 || at + length > kChecksum || length % 2 != 0) {
        return false;
    }
    text.clear();
    for (std::size_t i = at + 2; i < at + length; i += 2) {
        // Characters beyond ASCII come out as '?', as FTDI's Linux library shows them.
        const bool ascii = raw[i + 1] == 0 && raw[i] < 0x80;
        text += ascii ? static_cast<char>(raw[i]) : '?';
    }
    return true;
}

} // namespace

std::uint16_t eepromWord(const Ft232rEeprom& raw, std::size_t word) {
    return get16(raw, 2 * (word % kEepromWords));
}

void setEepromWord(Ft232rEeprom& raw, std::size_t word, std::uint16_t value) {
    put16(raw, 2 * (word % kEepromWords), value);
}

std::uint16_t eepromChecksum(const Ft232rEeprom& raw) {
    std::uint16_t checksum = 0xAAAA;
    for (std::size_t word = 0; word + 1 < kEepromWords; ++word) {
        checksum = static_cast<std::uint16_t>(checksum ^ eepromWord(raw, word));
        checksum = static_cast<std::uint16_t>((checksum << 1) | (checksum >> 15));
    }
    return checksum;
}

bool eepromChecksumValid(const Ft232rEeprom& raw) {
    return get16(raw, kChecksum) == eepromChecksum(raw);
}

Ft232rEeprom encodeEeprom(const EepromImage& image) {
    const FT_PROGRAM_DATA& n = image.numbers;
    Ft232rEeprom raw{};
    raw[kFlags] = static_cast<std::uint8_t>(bit(n.UseExtOsc != 0, kExtOscBit) |
                                            bit(n.HighDriveIOs != 0, kHighDriveBit) |
                                            bit(n.RIsD2XX != 0, kD2xxBit));
    raw[kEndpointSize] = n.EndpointSize;
    put16(raw, kVendorId, n.VendorId);
    put16(raw, kProductId, n.ProductId);
    put16(raw, kRelease, kReleaseNumber232R);
    raw[kConfig] =
        static_cast<std::uint8_t>(kConfigAlwaysSet | bit(n.SelfPowered != 0, kSelfPoweredBit) |
                                  bit(n.RemoteWakeup != 0, kRemoteWakeupBit));
    raw[kMaxPower] = static_cast<std::uint8_t>(n.MaxPower / 2);
    raw[kOptions] = static_cast<std::uint8_t>(bit(n.PullDownEnableR != 0, kPullDownBit) |
                                              bit(n.SerNumEnableR != 0, kSerialBit));
    raw[kInvert] = static_cast<std::uint8_t>(
        bit(n.InvertTXD != 0, 0x01) | bit(n.InvertRXD != 0, 0x02) | bit(n.InvertRTS != 0, 0x04) |
        bit(n.InvertCTS != 0, 0x08) | bit(n.InvertDTR != 0, 0x10) | bit(n.InvertDSR != 0, 0x20) |
        bit(n.InvertDCD != 0, 0x40) | bit(n.InvertRI != 0, 0x80));
    put16(raw, kUsbVersion, n.USBVersion);
    raw[kCbus01] = static_cast<std::uint8_t>((n.Cbus0 & 0x0F) | ((n.Cbus1 & 0x0F) << 4));
    raw[kCbus23] = static_cast<std::uint8_t>((n.Cbus2 & 0x0F) | ((n.Cbus3 & 0x0F) << 4));
    raw[kCbus4] = static_cast<std::uint8_t>(n.Cbus4 & 0x0F);

    // Room for the three strings: up to the checksum, less the plug-and-play bytes.
    const std::size_t room = (kChecksum - kStringArea - kPnpBytes) / 2 - 3;
    std::string strings[3] = {image.manufacturer, image.description, image.serialNumber};
    for (int cut = 2; cut >= 0; --cut) {
        std::size_t total = strings[0].size() + strings[1].size() + strings[2].size();
        if (total > room) {
            const std::size_t over = total - room;
            strings[cut].resize(strings[cut].size() > over ? strings[cut].size() - over : 0);
        }
    }
    std::size_t at = kStringArea;
    for (std::size_t entry = 0; entry < 3; ++entry) {
        const std::size_t length = putString(raw, at, strings[entry]);
        raw[kStringTable + 2 * entry] = static_cast<std::uint8_t>(kStringOffsetFlag | at);
        raw[kStringTable + 2 * entry + 1] = static_cast<std::uint8_t>(length);
        at += length;
    }
    raw[at] = kPnpMarker0;
    raw[at + 1] = kPnpMarker1;
    raw[at + 2] = n.PnP != 0 ? 0 : 1;
    put16(raw, kChecksum, eepromChecksum(raw));
    return raw;
}

bool decodeEeprom(const Ft232rEeprom& raw, EepromImage& image) {
    EepromImage out = image;
    if (!eepromChecksumValid(raw) || !getString(raw, 0, out.manufacturer) ||
        !getString(raw, 1, out.description) || !getString(raw, 2, out.serialNumber)) {
        return false;
    }
    FT_PROGRAM_DATA& n = out.numbers;
    n.UseExtOsc = (raw[kFlags] & kExtOscBit) != 0;
    n.HighDriveIOs = (raw[kFlags] & kHighDriveBit) != 0;
    n.RIsD2XX = (raw[kFlags] & kD2xxBit) != 0;
    n.EndpointSize = raw[kEndpointSize];
    n.VendorId = get16(raw, kVendorId);
    n.ProductId = get16(raw, kProductId);
    n.SelfPowered = (raw[kConfig] & kSelfPoweredBit) != 0;
    n.RemoteWakeup = (raw[kConfig] & kRemoteWakeupBit) != 0;
    n.MaxPower = static_cast<std::uint16_t>(raw[kMaxPower] * 2);
    n.PullDownEnableR = (raw[kOptions] & kPullDownBit) != 0;
    n.SerNumEnableR = (raw[kOptions] & kSerialBit) != 0;
    const std::uint8_t invert = raw[kInvert];
    n.InvertTXD = (invert & 0x01) != 0;
    n.InvertRXD = (invert & 0x02) != 0;
    n.InvertRTS = (invert & 0x04) != 0;
    n.InvertCTS = (invert & 0x08) != 0;
    n.InvertDTR = (invert & 0x10) != 0;
    n.InvertDSR = (invert & 0x20) != 0;
    n.InvertDCD = (invert & 0x40) != 0;
    n.InvertRI = (invert & 0x80) != 0;
    n.USBVersion = get16(raw, kUsbVersion);
    n.Cbus0 = raw[kCbus01] & 0x0F;
    n.Cbus1 = raw[kCbus01] >> 4;
    n.Cbus2 = raw[kCbus23] & 0x0F;
    n.Cbus3 = raw[kCbus23] >> 4;
    n.Cbus4 = raw[kCbus4] & 0x0F;
    const std::size_t serial = raw[kStringTable + 4] & ~std::size_t{kStringOffsetFlag};
    const std::size_t pnp = serial + raw[kStringTable + 5];
    // Without the marker the EEPROM says nothing about plug and play: not enabled.
    n.PnP = pnp + kPnpBytes <= kChecksum && raw[pnp] == kPnpMarker0 &&
            raw[pnp + 1] == kPnpMarker1 && raw[pnp + 2] == 0;
    image = out;
    return true;
}

} // namespace sim::usb
