// Walks every attached bridge, brings it up at 115200 baud, makes sure its EEPROM is right
// and asks the meter behind it for its software version with a framed "VERSION" command.
#pragma once

#include "bridge_identity.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pxr7 {

constexpr int kVersionQueryBaud = 115200;
constexpr std::uint32_t kVersionReadTimeoutMs = 200;
constexpr std::uint32_t kVersionWriteTimeoutMs = 1000;
constexpr int kVersionReadAttempts = 5;
constexpr std::uint32_t kVersionReadChunk = 100;
constexpr int kReplyBufferSize = 128;
constexpr int kVersionTextSize = 64;

// A meter that answered the version query, and the bridge it answered on.
struct MeterInfo {
    int index = -1; // the bridge's D2XX device index at the time of the walk
    std::string serialNumber;
    std::string description;
    std::string version; // at most 63 characters, as the meter sent them
};

struct MeterSearch {
    std::vector<MeterInfo> meters; // in device-index order
    // A bridge's EEPROM had to be corrected on the way: it was programmed and cycled, and is
    // re-enumerating (the bridges behind it may have moved down one index meanwhile).
    bool leadReprogrammed = false;
    // Who each reprogrammed lead was when the walk reached it (its old description, its index
    // then): the serial number tells it apart once it is back.
    std::vector<BridgeIdentity> reprogrammedLeads;
};

enum class SearchExtent { AllMeters, FirstMeter };

// Walks every attached bridge, and on each that opens makes sure its EEPROM is right, which
// may program it and cycle the bridge; a reprogrammed bridge is not asked. Then asks the
// meter for its version. With FirstMeter the walk ends at the first meter that answers. A
// bridge that cannot be opened, or whose meter answers NAK, too little or garbled, is
// skipped. Finds nothing without the D2XX library.
MeterSearch searchMetersCorrectingLeads(SearchExtent extent);

// How the reply is read. Chunks: reads of 100 bytes, each waiting out its timeout unless 100
// bytes came, as the Windows program has always read. ExactFrame: only the bytes the reply
// frame needs (its head, then its length's worth), so an answering meter costs the reply's
// own time and a silent one a single timeout.
enum class ReplyReading { Chunks, ExactFrame };

// What came back to a version query: the version, nothing at all, or bytes that are not one
// (a NAK, a reply too short or garbled).
enum class VersionReply { Version, Nothing, NotAVersion };

// One meter's exchange on an open, configured port: timeouts, purges, the request and the
// read loop. Writes the version text (at most 63 characters) and returns true if the meter
// answered properly; reply, if given, says what came back.
class DevicePort;
bool queryMeterVersion(DevicePort& port, char (&version)[kVersionTextSize],
                       ReplyReading reading = ReplyReading::Chunks, VersionReply* reply = nullptr);

} // namespace pxr7
