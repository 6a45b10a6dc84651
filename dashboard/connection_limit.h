// How many connections the server holds, in all and per client address. One address may take
// only so many, and the last few slots are kept for addresses that hold none yet, so that
// neither one busy client nor many half-sent requests from one place can keep the rest out.
#pragma once

#include <cstddef>
#include <map>
#include <string>

namespace pxr7 {

struct ConnectionBounds {
    std::size_t total = 64;
    std::size_t perAddress = 16;
    std::size_t spare = 8; // of total, for addresses that hold none yet
};

class ConnectionLimit {
public:
    explicit ConnectionLimit(ConnectionBounds bounds) : bounds_(bounds) {}

    // True, counted, when a connection from this address may be taken now.
    bool admit(const std::string& address);
    // A connection admitted from this address has closed.
    void release(const std::string& address);
    std::size_t held() const { return held_; }

private:
    ConnectionBounds bounds_;
    std::size_t held_ = 0;
    std::map<std::string, std::size_t> perAddress_;
};

} // namespace pxr7
