#include "command_frame.h"

#include "device_port.h"

#include <cstring>

namespace pxr7 {

std::uint8_t frameChecksum(const std::uint8_t* bytes, std::size_t count) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        sum = static_cast<std::uint8_t>(sum + bytes[i]);
    }
    return static_cast<std::uint8_t>(~sum);
}

int buildCommandFrame(const std::uint8_t* payload, int length, std::uint8_t* out) {
    if (length < 0 || length > kMaxCommandPayload) {
        return -1;
    }
    out[0] = kFrameStart;
    out[1] = static_cast<std::uint8_t>(length);
    if (length > 0) {
        std::memcpy(out + 2, payload, static_cast<std::size_t>(length));
    }
    out[length + 2] = frameChecksum(out + 1, static_cast<std::size_t>(length) + 1);
    return length + kFrameOverhead;
}

int sendCommand(DevicePort& port, const char* payload, int length) {
    std::uint8_t frame[256];
    int frameLength =
        buildCommandFrame(reinterpret_cast<const std::uint8_t*>(payload), length, frame);
    if (frameLength < 0) {
        return -1;
    }
    port.write(frame, static_cast<std::uint32_t>(frameLength));
    return length;
}

int parseReply(const std::uint8_t* bytes, std::size_t available, char* text, std::size_t textSize) {
    if (text == nullptr || textSize == 0) {
        return -1;
    }
    text[0] = '\0';
    if (available < static_cast<std::size_t>(kFrameOverhead) || bytes[0] != kFrameStart) {
        return -1;
    }
    const int length = static_cast<std::int8_t>(bytes[1]);
    if (length < 0) {
        return -1;
    }
    const std::size_t frameLength = static_cast<std::size_t>(length) + kFrameOverhead;
    if (frameLength > available) {
        return -1;
    }
    if (frameChecksum(bytes + 1, static_cast<std::size_t>(length) + 1) != bytes[length + 2]) {
        return -1;
    }
    const std::size_t kept = static_cast<std::size_t>(length) < textSize - 1
                                 ? static_cast<std::size_t>(length)
                                 : textSize - 1;
    std::strncpy(text, reinterpret_cast<const char*>(bytes + 2), kept);
    text[kept] = '\0';
    return length;
}

} // namespace pxr7
