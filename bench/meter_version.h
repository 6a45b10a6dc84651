// Asking a meter for its version once an upgrade has restarted it: its lead found again as the
// same bridge (findSameBridge), at the version query's settings, for a bounded time.
#pragma once

#include "bridge_identity.h"

#include <chrono>
#include <optional>
#include <string>

namespace pxr7 {

// How long a meter may take to start its new firmware and answer.
constexpr std::chrono::milliseconds kRestartWait{10000};

// giveUp, if given, is asked between attempts (a stop signal, say). None, at once, when the lead
// cannot be told from others like it: a version from another meter would prove nothing.
struct VersionAfterRestart {
    std::optional<std::string> version; // the meter's answer
    bool cannotTell = false; // no answer taken: other leads look the same and nothing tells
                             // where each is plugged in
};

VersionAfterRestart readVersionAfterRestart(const BridgeIdentity& lead,
                                            std::chrono::milliseconds wait = kRestartWait,
                                            bool (*giveUp)() = nullptr);

} // namespace pxr7
