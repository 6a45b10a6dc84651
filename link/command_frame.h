// The meter's framed command protocol: STX, payload length N, N payload bytes, and a checksum
// that is the complement of the 8-bit sum of the length byte and the payload.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pxr7 {

class DevicePort;

constexpr std::uint8_t kFrameStart = 0x02; // STX
constexpr std::uint8_t kReplyAck = 0x06;
constexpr std::uint8_t kReplyNak = 0x15;
constexpr int kFrameOverhead = 3;
constexpr int kMaxCommandPayload = 253; // the frame is built in a 256-byte buffer

// The checksum of a frame whose length byte and payload are the count bytes at bytes.
std::uint8_t frameChecksum(const std::uint8_t* bytes, std::size_t count);

// Builds the frame for payload into out (at least length + 3 bytes) and returns its length,
// or -1 when length is negative or above 253.
int buildCommandFrame(const std::uint8_t* payload, int length, std::uint8_t* out);

// Builds the frame and writes it in one write on the port. The write status is not checked:
// a lost command shows up as a missing reply. Returns length, or -1 if it could not be framed.
int sendCommand(DevicePort& port, const char* payload, int length);

// Checks and unpacks a frame of at most available bytes starting at bytes. On success writes
// the payload to text as a zero-terminated string (copying stops at a zero byte and the rest
// is zero-filled; a payload longer than textSize - 1 is cut to fit) and returns N. Returns -1,
// with text empty, for a bad start byte, a length with the top bit set, a frame that would
// reach past available, or a wrong checksum.
int parseReply(const std::uint8_t* bytes, std::size_t available, char* text, std::size_t textSize);

} // namespace pxr7
