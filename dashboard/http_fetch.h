// A plain HTTP GET with a deadline, for the overview asking stations for their snapshots.
#pragma once

#include <chrono>
#include <string>

namespace pxr7 {

// GET base + path, where base is "http://HOST[:PORT]" (a path after it is kept in front of
// path). True with the body on a 200; false with the reason (refused, no answer within the
// deadline, another status, an answer larger than maxBytes).
bool httpGet(const std::string& base, const std::string& path, std::chrono::milliseconds deadline,
             std::string& body, std::string& problem, std::size_t maxBytes = 16u << 20);

} // namespace pxr7
