// SHA-256 (FIPS 180-2): the check of the firmware image the program carries against the digest
// the build recorded, and the digest `pxr7 --version` shows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace pxr7 {

class Sha256 {
public:
    Sha256();
    // Adds size bytes; any split of the input gives the same digest.
    void update(const std::uint8_t* data, std::size_t size);
    // The digest of everything added so far. Call once; the object is spent afterwards.
    std::array<std::uint8_t, 32> finish();

private:
    void compressBlock(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> block_{};
    std::size_t blockUsed_ = 0;
    std::uint64_t totalBytes_ = 0;
};

// The digest of the bytes as 64 lowercase hex digits, as sha256sum prints it.
std::string sha256Hex(const std::uint8_t* data, std::size_t size);

} // namespace pxr7
