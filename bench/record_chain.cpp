#include "record_chain.h"

#include "sha256.h"

#include <chrono>
#include <cstdint>
#include <random>

namespace pxr7 {

namespace {

constexpr char kHex[] = "0123456789abcdef";

bool allHex(const std::string& text, std::size_t size) {
    return text.size() == size && text.find_first_not_of(kHex) == std::string::npos;
}

// splitmix64: spreads a seed's bits, so the clock's few changing ones reach every digit.
std::uint64_t mixed(std::uint64_t value) {
    value += 0x9E3779B97F4A7C15ull;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    return value ^ (value >> 31);
}

} // namespace

std::string newStreamId() {
    std::random_device device;
    // The clock joins in: a random_device that repeats itself must not repeat a stream.
    const auto now =
        static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    std::uint64_t halves[2];
    for (int i = 0; i < 2; ++i) {
        const std::uint64_t drawn = (std::uint64_t{device()} << 32) ^ device();
        halves[i] = drawn ^ mixed(now + static_cast<std::uint64_t>(i));
    }
    std::string id;
    for (const std::uint64_t half : halves) {
        for (int shift = 60; shift >= 0; shift -= 4) {
            id += kHex[(half >> shift) & 0xF];
        }
    }
    return id;
}

bool isStreamId(const std::string& text) {
    return allHex(text, 32);
}

std::string lineDigest(const std::string& bytes) {
    return sha256Hex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

bool isLineDigest(const std::string& text) {
    return allHex(text, 64);
}

} // namespace pxr7
