// The overview asking stations for their snapshots: net/'s GET (http_get.h) in the overview's
// words.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

namespace pxr7 {

// GET base + path, where base is a station's URL as parseHttpUrl reads it (http:// or https://
// HOST:PORT). True with the body on a 200; false with the reason (refused, no answer within the
// deadline, another status, an answer larger than maxBytes). A cancel flag that turns true
// ends the wait within a tenth of a second.
struct StationAccess {
    std::string key;    // sent as "Authorization: Bearer KEY"; "" none
    std::string caFile; // https://: the certificates the station's is checked against; "" system's
};
bool httpGet(const std::string& base, const std::string& path, std::chrono::milliseconds deadline,
             std::string& body, std::string& problem, const std::atomic<bool>* cancel = nullptr,
             std::size_t maxBytes = 16u << 20, const StationAccess& access = StationAccess());

} // namespace pxr7
