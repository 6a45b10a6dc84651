#include "sim_time.h"

#include <chrono>

namespace sim {

namespace {
const std::chrono::steady_clock::time_point g_epoch = std::chrono::steady_clock::now();
} // namespace

Micros now() {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 g_epoch)
        .count();
}

std::int64_t steadyClockMicros(Micros t) {
    return std::chrono::duration_cast<std::chrono::microseconds>(g_epoch.time_since_epoch())
               .count() +
           t;
}

void waitUntil(std::condition_variable& condition, std::unique_lock<std::mutex>& lock,
               Micros when) {
    if (when == kNever) {
        // Only another call can change anything, and it notifies; the step is a safety net.
        condition.wait_for(lock, std::chrono::seconds(1));
        return;
    }
    condition.wait_until(lock, g_epoch + std::chrono::microseconds(when));
}

Micros byteEndTime(std::uint64_t index, std::uint32_t baud) {
    if (baud == 0) {
        return 0;
    }
    // Ten bits per byte: start, eight data bits, stop. Rounded to the nearest microsecond but
    // computed from the burst start, so rounding never accumulates.
    const std::uint64_t bits = (index + 1) * 10u * 1000000u;
    return static_cast<Micros>((bits + baud / 2) / baud);
}

} // namespace sim
