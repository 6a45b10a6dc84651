#include "meter_exchange.h"

#include <chrono>
#include <thread>

using namespace pxr7;

namespace simrig {

namespace {

constexpr std::size_t kRecord = 515;
using Clock = std::chrono::steady_clock;

} // namespace

std::vector<std::uint8_t> makeImage(std::size_t records) {
    std::vector<std::uint8_t> image(records * kRecord);
    std::uint32_t state = 0x2545F491u;
    for (std::uint8_t& byte : image) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<std::uint8_t>(state);
    }
    return image;
}

std::vector<std::uint8_t> wireRecord(const std::vector<std::uint8_t>& image, std::size_t index) {
    const auto first = image.begin() + static_cast<std::ptrdiff_t>(index * kRecord);
    std::vector<std::uint8_t> wire(first, first + static_cast<std::ptrdiff_t>(kRecord));
    unsigned sum = 0;
    for (const std::uint8_t byte : wire) {
        sum += byte;
    }
    wire.push_back(static_cast<std::uint8_t>(sum));
    return wire;
}

int awaitByte(DevicePort& port, std::uint8_t wanted, int withinMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(withinMs);
    while (Clock::now() < end) {
        std::uint8_t byte = 0;
        const FT_STATUS status = port.read(&byte, 1);
        if (status != FT_OK) {
            return static_cast<int>(status);
        }
        if (port.bytesRead == 1) {
            return byte == wanted ? 0 : 1000 + byte;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return -1;
}

bool resetPulse(DevicePort& port) {
    bool ok = port.assertDtr() == FT_OK;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ok = port.clearDtr() == FT_OK && ok;
    ok = port.purgeReceive() == FT_OK && ok;
    return port.setTimeouts(1, 1000) == FT_OK && ok;
}

int handshake(DevicePort& port) {
    const int brace = awaitByte(port, '}', 2000);
    if (brace != 0) {
        return brace;
    }
    const std::uint8_t answer = '{';
    return static_cast<int>(port.write(&answer, 1));
}

std::size_t sendRecords(DevicePort& port, const std::vector<std::uint8_t>& image, std::size_t first,
                        std::size_t last, int waitMs) {
    for (std::size_t i = first; i < last; ++i) {
        if (awaitByte(port, '!', waitMs) != 0) {
            return i - first;
        }
        const std::vector<std::uint8_t> wire = wireRecord(image, i);
        if (port.write(wire.data(), static_cast<std::uint32_t>(wire.size())) != FT_OK ||
            port.bytesWritten != wire.size()) {
            return i - first;
        }
    }
    return last - first;
}

} // namespace simrig
