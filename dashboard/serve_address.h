// Where the dashboard listens, as the person gives it: "[HOST:]PORT".
#pragma once

#include <string>

namespace pxr7 {

struct ServeAddress {
    std::string host = "127.0.0.1"; // this machine only, unless another address is given
    unsigned short port = 0;        // 0: any free port
};

// "8470", "0.0.0.0:8470", "[::1]:0", "localhost:8470". False, with the reason in problem, for
// a port that is not a number from 0 to 65535, an empty host, or a bracket left open.
bool parseServeAddress(const std::string& text, ServeAddress& address, std::string& problem);

} // namespace pxr7
