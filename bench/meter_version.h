// Asking a meter for its version once an upgrade has restarted it: found again by its lead's
// serial number, at the version query's settings, for a bounded time.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace pxr7 {

// How long a meter may take to start its new firmware and answer.
constexpr std::chrono::milliseconds kRestartWait{10000};

// giveUp, if given, is asked between attempts (a stop signal, say).
std::optional<std::string> readVersionAfterRestart(const std::string& serialNumber,
                                                   std::chrono::milliseconds wait = kRestartWait,
                                                   bool (*giveUp)() = nullptr);

} // namespace pxr7
