#include "ft232r_chip.h"

#include "sio_values.h"

#include <libusb.h>

#include <algorithm>

namespace sim::usb {

namespace {

// FTDI's vendor requests (ftdi.h names them SIO_*_REQUEST).
constexpr std::uint8_t kReset = 0x00;
constexpr std::uint8_t kModemControl = 0x01;
constexpr std::uint8_t kFlowControl = 0x02;
constexpr std::uint8_t kBaudRate = 0x03;
constexpr std::uint8_t kData = 0x04;
constexpr std::uint8_t kPollModemStatus = 0x05;
constexpr std::uint8_t kEventChar = 0x06;
constexpr std::uint8_t kErrorChar = 0x07;
constexpr std::uint8_t kSetLatency = 0x09;
constexpr std::uint8_t kGetLatency = 0x0A;
constexpr std::uint8_t kSetBitMode = 0x0B;
constexpr std::uint8_t kReadEeprom = 0x90;
constexpr std::uint8_t kWriteEeprom = 0x91;
constexpr std::uint8_t kEraseEeprom = 0x92;

// RESET's value: the whole serial side, or one FIFO named from the chip's side. "Purge RX"
// empties what the chip received from the host (the host's transmit data), "purge TX" what it
// would transmit to the host.
constexpr std::uint16_t kResetSio = 0;
constexpr std::uint16_t kPurgeChipRx = 1;
constexpr std::uint16_t kPurgeChipTx = 2;

constexpr std::uint8_t kVendorOut = LIBUSB_REQUEST_TYPE_VENDOR | LIBUSB_RECIPIENT_DEVICE;
constexpr std::uint8_t kVendorIn = kVendorOut | LIBUSB_ENDPOINT_IN;
constexpr int kStatusBytes = 2;

const char* requestName(std::uint8_t request) {
    switch (request) {
    case kReset:
        return "SIO_RESET";
    case kModemControl:
        return "SIO_SET_MODEM_CTRL";
    case kFlowControl:
        return "SIO_SET_FLOW_CTRL";
    case kBaudRate:
        return "SIO_SET_BAUD_RATE";
    case kData:
        return "SIO_SET_DATA";
    case kPollModemStatus:
        return "SIO_POLL_MODEM_STATUS";
    case kSetLatency:
        return "SIO_SET_LATENCY_TIMER";
    case kGetLatency:
        return "SIO_GET_LATENCY_TIMER";
    case kReadEeprom:
        return "SIO_READ_EEPROM";
    case kWriteEeprom:
        return "SIO_WRITE_EEPROM";
    case kEraseEeprom:
        return "SIO_ERASE_EEPROM";
    default:
        return nullptr;
    }
}

} // namespace

Ft232rChip::Ft232rChip(Bridge& bridge, const Ft232rEeprom& eeprom, int latencyMs)
    : bridge_(bridge), eeprom_(eeprom), enumerated_(eeprom), latencyMs_(latencyMs) {}

bool Ft232rChip::takeEepromStored() {
    const bool stored = eepromStored_;
    eepromStored_ = false;
    return stored;
}

void Ft232rChip::open(Micros now) {
    bridge_.open(now);
    lastPacketAt_ = now;
}

void Ft232rChip::close() {
    bridge_.close();
}

void Ft232rChip::resetSerial(Micros now) {
    bridge_.purge(now, FT_PURGE_RX | FT_PURGE_TX);
    bridge_.setDtr(now, false);
}

void Ft232rChip::nameRequest(std::uint8_t request, TraceLine& line) {
    const char* name = requestName(request);
    line.addText("request", name != nullptr ? name : std::to_string(request));
}

int Ft232rChip::control(Micros now, std::uint8_t requestType, std::uint8_t request,
                        std::uint16_t value, std::uint16_t index, std::uint8_t* data,
                        std::uint16_t length, TraceLine& line) {
    nameRequest(request, line);
    if (requestType == kVendorOut) {
        return vendorOut(now, request, value, index, line);
    }
    if (requestType == kVendorIn && data != nullptr) {
        return vendorIn(request, index, data, length, line);
    }
    line.add("type", requestType);
    return LIBUSB_ERROR_PIPE;
}

int Ft232rChip::vendorOut(Micros now, std::uint8_t request, std::uint16_t value,
                          std::uint16_t index, TraceLine& line) {
    bridge_.advance(now);
    switch (request) {
    case kReset:
        line.add("value", value);
        if (value == kResetSio) {
            bridge_.purge(now, FT_PURGE_RX | FT_PURGE_TX);
        } else if (value == kPurgeChipRx) {
            bridge_.purge(now, FT_PURGE_TX);
        } else if (value == kPurgeChipTx) {
            bridge_.purge(now, FT_PURGE_RX);
        } else {
            return LIBUSB_ERROR_PIPE;
        }
        return 0;
    case kModemControl: {
        const int dtr = dtrFromModemControl(value);
        line.add("dtr", dtr);
        if (dtr >= 0) {
            bridge_.setDtr(now, dtr == 1);
        }
        return 0;
    }
    case kFlowControl:
        bridge_.line.flowControl = static_cast<std::uint16_t>(index & 0xFF00);
        line.add("mode", bridge_.line.flowControl);
        return 0;
    case kBaudRate: {
        const std::uint32_t actual = baudFromDivisor(value, index);
        line.add("baud", actual);
        if (actual == 0) {
            return LIBUSB_ERROR_PIPE;
        }
        bridge_.line.baud = nominalBaud(actual);
        return 0;
    }
    case kData: {
        DataCharacteristics data{};
        if (!decodeDataCharacteristics(value, data)) {
            line.add("value", value);
            return LIBUSB_ERROR_PIPE;
        }
        line.add("bits", data.wordLength).add("stop", data.stopBits).add("parity", data.parity);
        bridge_.line.wordLength = data.wordLength;
        bridge_.line.stopBits = data.stopBits;
        bridge_.line.parity = data.parity;
        return 0;
    }
    case kSetLatency:
        line.add("ms", value);
        if (value < 1 || value > 255) {
            return LIBUSB_ERROR_PIPE;
        }
        latencyTimer_ = static_cast<std::uint8_t>(value);
        return 0;
    case kEventChar:
    case kErrorChar:
    case kSetBitMode:
        return 0;
    case kWriteEeprom:
        line.add("address", index).add("value", value);
        return writeEepromWord(index, value);
    case kEraseEeprom:
        // The FT232R's internal EEPROM cannot be erased; the chip acknowledges and keeps it.
        return 0;
    default:
        return LIBUSB_ERROR_PIPE;
    }
}

int Ft232rChip::vendorIn(std::uint8_t request, std::uint16_t index, std::uint8_t* data,
                         std::uint16_t length, TraceLine& line) {
    switch (request) {
    case kPollModemStatus:
        if (length < 2) {
            return LIBUSB_ERROR_OVERFLOW;
        }
        data[0] = kModemStatus;
        data[1] = kLineStatus;
        return 2;
    case kGetLatency:
        if (length < 1) {
            return LIBUSB_ERROR_OVERFLOW;
        }
        data[0] = latencyTimer_;
        return 1;
    case kReadEeprom: {
        line.add("address", index);
        if (length < 2) {
            return LIBUSB_ERROR_OVERFLOW;
        }
        if (bridge_.config().eepromReadFails) {
            return LIBUSB_ERROR_PIPE;
        }
        const std::uint16_t word = eepromWord(eeprom_, index);
        data[0] = static_cast<std::uint8_t>(word & 0xFF);
        data[1] = static_cast<std::uint8_t>(word >> 8);
        return 2;
    }
    default:
        return LIBUSB_ERROR_PIPE;
    }
}

int Ft232rChip::writeEepromWord(std::uint16_t address, std::uint16_t value) {
    if (bridge_.config().eepromProgramFails) {
        return LIBUSB_ERROR_PIPE;
    }
    // A 64-word part: addresses wrap, as the chip decodes only six address bits.
    setEepromWord(eeprom_, address, value);
    EepromImage image = bridge_.eeprom;
    if (decodeEeprom(eeprom_, image)) {
        bridge_.eeprom = image;
        eepromStored_ = true;
    }
    return 0;
}

int Ft232rChip::bulkOut(Micros now, const std::uint8_t* data, int length) {
    bridge_.write(now, data, static_cast<std::uint32_t>(length));
    return length;
}

int Ft232rChip::bulkIn(Micros now, std::uint8_t* data, int length, Micros& wakeAt) {
    bridge_.advance(now);
    const Micros latency = millis(std::max(latencyMs_, 1));
    if (bridge_.available() == 0) {
        if (now < lastPacketAt_ + latency) {
            wakeAt = std::min(bridge_.nextEvent(), lastPacketAt_ + latency);
            return 0;
        }
        lastPacketAt_ = now;
        data[0] = kModemStatus;
        data[1] = kLineStatus;
        return kStatusBytes;
    }
    // Whole packets while data lasts; a short packet ends the transfer.
    int filled = 0;
    while (length - filled > kStatusBytes && bridge_.available() > 0) {
        std::uint8_t* packet = data + filled;
        const int room = std::min(length - filled, kMaxPacket) - kStatusBytes;
        packet[0] = kModemStatus;
        packet[1] = kLineStatus;
        const int taken = static_cast<int>(bridge_.take(packet + kStatusBytes, room));
        filled += kStatusBytes + taken;
        if (kStatusBytes + taken < kMaxPacket) {
            break;
        }
    }
    lastPacketAt_ = now;
    return filled;
}

} // namespace sim::usb
