// Walks every attached bridge, brings it up at 115200 baud, makes sure its EEPROM is right
// and asks the meter behind it for its software version with a framed "VERSION" command.
#pragma once

#include <cstdint>

namespace pxr7 {

// Where the answers go: an ordered list of lines (the device list), and one text field (the
// upgrade warning's version field). Front ends supply their own.
class MeterListTarget {
public:
    virtual ~MeterListTarget() = default;
    virtual void addLine(const char* text) = 0;
};

class VersionFieldTarget {
public:
    virtual ~VersionFieldTarget() = default;
    virtual void setVersionText(const char* text) = 0;
};

constexpr int kVersionQueryBaud = 115200;
constexpr std::uint32_t kVersionReadTimeoutMs = 200;
constexpr std::uint32_t kVersionWriteTimeoutMs = 1000;
constexpr int kVersionReadAttempts = 5;
constexpr std::uint32_t kVersionReadChunk = 100;
constexpr int kReplyBufferSize = 128;
constexpr int kVersionTextSize = 64;

// Returns the number of meters that answered. Each answer becomes a line of list (if given);
// with field given, the first answer goes into it and the walk stops there. A bridge that
// cannot be opened, whose EEPROM had to be reprogrammed, or whose meter answers NAK, too
// little or garbled, is skipped and not counted. Returns 0 without the D2XX library.
int enumerateMeters(MeterListTarget* list, VersionFieldTarget* field);

// One meter's exchange on an open, configured port: timeouts, purges, the request and the
// read loop. Writes the version text (at most 63 characters) and returns true if the meter
// answered properly.
class DevicePort;
bool queryMeterVersion(DevicePort& port, char (&version)[kVersionTextSize]);

} // namespace pxr7
