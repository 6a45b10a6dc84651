// The simulator's one clock: microseconds on the steady clock, counted from the library's
// first use. Every event of the simulated bridge and meter carries such a time stamp.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <limits>
#include <mutex>

namespace sim {

using Micros = std::int64_t;

constexpr Micros kNever = std::numeric_limits<Micros>::max();

constexpr Micros millis(std::int64_t ms) {
    return ms * 1000;
}

// Now, on the steady clock.
Micros now();

// The machine's steady clock (CLOCK_MONOTONIC on Linux), in microseconds, at simulator time t:
// what another process reads from its own steady clock at that moment.
std::int64_t steadyClockMicros(Micros t);

// Blocks the calling thread, with lock released, until the steady clock reaches when or someone
// notifies condition (returns at once if when is past). For kNever, a second at most.
void waitUntil(std::condition_variable& condition, std::unique_lock<std::mutex>& lock, Micros when);

// Time one byte of 8N1 (ten bits) takes on a line of the given baud rate, for the index-th byte
// of a burst: the end of byte `index` (0-based) counted from the start of the burst.
Micros byteEndTime(std::uint64_t index, std::uint32_t baud);

} // namespace sim
