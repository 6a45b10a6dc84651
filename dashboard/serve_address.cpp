#include "serve_address.h"

namespace pxr7 {

namespace {

bool parsePort(const std::string& text, unsigned short& port) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const unsigned long value = std::stoul(text);
    if (value > 65535) {
        return false;
    }
    port = static_cast<unsigned short>(value);
    return true;
}

} // namespace

bool parseServeAddress(const std::string& text, ServeAddress& address, std::string& problem) {
    ServeAddress parsed;
    std::string port = text;
    const std::size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        parsed.host = text.substr(0, colon);
        port = text.substr(colon + 1);
        // An IPv6 address goes in brackets, so its own colons are not taken for the port's.
        if (!parsed.host.empty() && parsed.host.front() == '[') {
            if (parsed.host.size() < 3 || parsed.host.back() != ']') {
                problem = "an IPv6 address goes in brackets, e.g. [::1]:8470";
                return false;
            }
            parsed.host = parsed.host.substr(1, parsed.host.size() - 2);
        } else if (parsed.host.find(':') != std::string::npos) {
            problem = "an IPv6 address goes in brackets, e.g. [::1]:8470";
            return false;
        }
        if (parsed.host.empty()) {
            problem = "the address before the port is empty: give HOST:PORT, or the port alone";
            return false;
        }
    }
    if (!parsePort(port, parsed.port)) {
        problem = "the port is not a number from 0 to 65535 (0 picks a free one)";
        return false;
    }
    address = parsed;
    return true;
}

} // namespace pxr7
