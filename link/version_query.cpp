#include "version_query.h"

#include "bridge_identity.h"
#include "bridge_library.h"
#include "command_frame.h"
#include "device_port.h"

#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace pxr7 {

namespace {

constexpr char kVersionCommand[] = "VERSION";
// ACK, STX, length and checksum: the shortest reply worth parsing, plus one payload byte.
constexpr int kShortestReply = 5;

// Bytes the reply needs before it can be parsed: the shortest reply until its length byte has
// arrived, then the whole frame, so a reply that trickles in over several reads is kept whole.
int replyBytesWanted(const std::uint8_t* reply, int received) {
    if (received < 3 || reply[0] != kReplyAck || reply[1] != kFrameStart) {
        return kShortestReply;
    }
    const int length = static_cast<std::int8_t>(reply[2]);
    if (length < 0) {
        return kShortestReply;
    }
    const int whole = 1 + kFrameOverhead + length;
    return whole < kReplyBufferSize ? whole : kReplyBufferSize;
}

// For exact reads: the status byte, STX and the length first, then the rest of the frame.
int exactBytesWanted(const std::uint8_t* reply, int received) {
    constexpr int kHead = 3;
    return received < kHead ? kHead : replyBytesWanted(reply, received);
}

// Appends what a read brought as a string copy bounded by the count: copying stops at a zero
// byte and the rest of the count is zero-filled. Never writes past the reply buffer.
int appendToReply(std::uint8_t* reply, int received, const std::uint8_t* chunk,
                  std::uint32_t count) {
    const std::uint32_t space = static_cast<std::uint32_t>(kReplyBufferSize - received);
    const std::uint32_t kept = count < space ? count : space;
    std::uint8_t* out = reply + received;
    std::uint32_t copied = 0;
    while (copied < kept && chunk[copied] != 0) {
        out[copied] = chunk[copied];
        ++copied;
    }
    std::memset(out + copied, 0, kept - copied);
    return static_cast<int>(kept);
}

// After the EEPROM check: a lead whose settings are right (or could not be read, as before)
// can carry the exchange.
bool leadUsable(const DevicePort& port) {
    return port.eepromCheck == DevicePort::EepromCheck::Right ||
           port.eepromCheck == DevicePort::EepromCheck::ReadFailed;
}

} // namespace

bool queryMeterVersion(DevicePort& port, char (&version)[kVersionTextSize], ReplyReading reading,
                       VersionReply* reply) {
    VersionReply ignored = VersionReply::Nothing;
    VersionReply& heard = reply != nullptr ? *reply : ignored;
    heard = VersionReply::Nothing;
    version[0] = '\0';
    port.setTimeouts(kVersionReadTimeoutMs, kVersionWriteTimeoutMs);
    port.purgeReceive();
    port.purgeTransmit();

    std::uint8_t frame[kReplyBufferSize] = {};
    std::uint8_t chunk[kReplyBufferSize] = {};
    sendCommand(port, kVersionCommand, static_cast<int>(sizeof kVersionCommand - 1));

    int received = 0;
    bool failed = false;
    for (int reads = 0; reads < kVersionReadAttempts && frame[0] != kReplyNak &&
                        received < replyBytesWanted(frame, received);
         ++reads) {
        const std::uint32_t wanted =
            reading == ReplyReading::Chunks
                ? kVersionReadChunk
                : static_cast<std::uint32_t>(exactBytesWanted(frame, received) - received);
        if (port.read(chunk, wanted) != FT_OK) {
            failed = true;
            break;
        }
        // Trust no count beyond what was asked for.
        const std::uint32_t count = port.bytesRead < wanted ? port.bytesRead : wanted;
        received += appendToReply(frame, received, chunk, count);
        if (reading == ReplyReading::ExactFrame && count < wanted) {
            break; // the timeout ran out: the rest is not coming
        }
    }

    if (received < 1) {
        return false;
    }
    const bool answered =
        !failed && frame[0] == kReplyAck &&
        parseReply(frame + 1, kReplyBufferSize - 1, version, kVersionTextSize) != -1;
    heard = answered ? VersionReply::Version : VersionReply::NotAVersion;
    return answered;
}

MeterSearch searchMetersCorrectingLeads(SearchExtent extent) {
    MeterSearch search;
    if (!bridgeLibraryPresent()) {
        return search;
    }
    const std::uint32_t bridges = countBridges();
    for (std::uint32_t i = 0; i < bridges; ++i) {
        const int deviceIndex = static_cast<int>(i);
        BridgeIdentity identity;
        // Somebody else's bridge gets nothing beyond the look at who it is.
        if (!probeBridge(deviceIndex, identity) || !isMeterLead(identity)) {
            continue;
        }
        std::unique_ptr<DevicePort> port(new (std::nothrow) DevicePort());
        if (!port) {
            continue;
        }
        bool answered = false;
        char version[kVersionTextSize];
        if (port->openAndConfigure(deviceIndex, kVersionQueryBaud, FT_BITS_8, FT_STOP_BITS_1,
                                   FT_PARITY_NONE) == FT_OK) {
            port->ensureBridgeConfig(true);
            // A reprogrammed bridge is re-enumerating, and one whose EEPROM could not be made
            // right would not carry the meter's signals: neither is asked.
            if (port->configChanged != 0) {
                search.leadReprogrammed = true;
                search.reprogrammedLeads.push_back(identity);
            } else if (leadUsable(*port)) {
                answered = queryMeterVersion(*port, version);
            }
        }
        port->close();
        if (!answered) {
            continue;
        }
        MeterInfo meter;
        meter.index = deviceIndex;
        meter.serialNumber = identity.serialNumber;
        meter.description = identity.description;
        meter.version = version;
        search.meters.push_back(std::move(meter));
        if (extent == SearchExtent::FirstMeter) {
            break;
        }
    }
    return search;
}

} // namespace pxr7
