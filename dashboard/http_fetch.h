// A plain HTTP GET with a deadline, for the overview asking stations for their snapshots.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

namespace pxr7 {

// GET base + path, where base is "http://HOST[:PORT]" (a path after it is kept in front of
// path). True with the body on a 200; false with the reason (refused, no answer within the
// deadline, another status, an answer larger than maxBytes). A cancel flag that turns true
// ends the wait within a tenth of a second. base may be "https://HOST[:PORT]" as well.
struct StationAccess {
    std::string key;    // sent as "Authorization: Bearer KEY"; "" none
    std::string caFile; // https://: the certificates the station's is checked against; "" system's
};
bool httpGet(const std::string& base, const std::string& path, std::chrono::milliseconds deadline,
             std::string& body, std::string& problem, const std::atomic<bool>* cancel = nullptr,
             std::size_t maxBytes = 16u << 20, const StationAccess& access = StationAccess());

} // namespace pxr7
