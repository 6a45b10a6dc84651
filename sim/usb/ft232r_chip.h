// The USB function of one simulated FT232R: FTDI's vendor requests on the control endpoint and
// the two bulk endpoints, in front of the simulator's bridge model (line, meter, receive path).
// Every bulk IN packet starts with the two modem-status bytes; with nothing to send the chip
// answers a status-only packet once its latency timer has run out since the last packet.
#pragma once

#include "bridge.h"
#include "ft232r_eeprom.h"
#include "trace_log.h"

#include <cstdint>

namespace sim::usb {

constexpr std::uint8_t kBulkInEndpoint = 0x81;
constexpr std::uint8_t kBulkOutEndpoint = 0x02;
constexpr int kMaxPacket = 64;
constexpr std::uint8_t kModemStatus = 0x01; // CTS, DSR, RI, DCD low; the reserved bit set
constexpr std::uint8_t kLineStatus = 0x60;  // transmitter holding register and shifter empty

class Ft232rChip {
public:
    Ft232rChip(Bridge& bridge, const Ft232rEeprom& eeprom, int latencyMs);

    // A control transfer of FTDI's vendor type. Returns the bytes of the data stage, or a
    // negative libusb error (LIBUSB_ERROR_PIPE is a stall: a request the chip refuses).
    int control(Micros now, std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                std::uint16_t index, std::uint8_t* data, std::uint16_t length, TraceLine& line);
    // Adds the request's name (SIO_READ_EEPROM, ...) to a trace line, also for a request the
    // bus refuses before the chip sees it.
    static void nameRequest(std::uint8_t request, TraceLine& line);

    // Bulk OUT: the bytes go onto the serial line. Never blocks.
    int bulkOut(Micros now, const std::uint8_t* data, int length);

    // Bulk IN at now: the packets ready for the host, or 0 if the chip would still NAK, with
    // wakeAt telling when that can change.
    int bulkIn(Micros now, std::uint8_t* data, int length, Micros& wakeAt);

    // The host claimed or released the interface: the bridge model's open and close.
    void open(Micros now);
    void close();
    // A bus reset without re-enumeration: the chip's serial side starts over.
    void resetSerial(Micros now);

    const Ft232rEeprom& eeprom() const { return eeprom_; }
    // What the chip showed at its last enumeration; the descriptors come from it.
    const Ft232rEeprom& enumerated() const { return enumerated_; }
    void reloadEeprom() { enumerated_ = eeprom_; }
    bool eepromChangedSinceEnumeration() const { return eeprom_ != enumerated_; }
    // Set when an EEPROM write left a whole, valid image (now also in the bridge model, for the
    // state file); reading clears it.
    bool takeEepromStored();

    Bridge& bridge() { return bridge_; }

private:
    int vendorOut(Micros now, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                  TraceLine& line);
    int vendorIn(std::uint8_t request, std::uint16_t index, std::uint8_t* data,
                 std::uint16_t length, TraceLine& line);
    int writeEepromWord(std::uint16_t address, std::uint16_t value);

    Bridge& bridge_;
    Ft232rEeprom eeprom_;
    Ft232rEeprom enumerated_;
    int latencyMs_;
    std::uint8_t latencyTimer_ = 16;
    Micros lastPacketAt_ = 0;
    bool eepromStored_ = false;
};

} // namespace sim::usb
