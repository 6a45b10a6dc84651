// The transfer exchange driven by hand on an open port, as the tests of each bridge backend
// drive it: an image of pattern bytes, its wire records, the reset pulse, the handshake and
// the "!"-paced records. Written apart from the program's own code, so it can check it.
#pragma once

#include "device_port.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace simrig {

// records x 515 bytes of a fixed pseudo-random pattern.
std::vector<std::uint8_t> makeImage(std::size_t records);

// Record index of image as it travels: its 515 bytes and their plain 8-bit sum.
std::vector<std::uint8_t> wireRecord(const std::vector<std::uint8_t>& image, std::size_t index);

// Polls with one-byte reads until a byte arrives or withinMs runs out: 0 for wanted, 1000 +
// byte for another byte, -1 on time-out, else the failing read's status.
int awaitByte(pxr7::DevicePort& port, std::uint8_t wanted, int withinMs);

// The reset pulse as the host makes it, shortened (the meter only cares about the edges),
// then the receive purge and 1 ms reads. False if any call failed.
bool resetPulse(pxr7::DevicePort& port);

// Waits for the meter's "}" and answers "{": 0, or what awaitByte or the write said.
int handshake(pxr7::DevicePort& port);

// Sends records first..last-1, each after its "!" (waiting up to waitMs for it); stops at a
// missing request or a failed or short write. Returns how many went out.
std::size_t sendRecords(pxr7::DevicePort& port, const std::vector<std::uint8_t>& image,
                        std::size_t first, std::size_t last, int waitMs = 600);

} // namespace simrig
