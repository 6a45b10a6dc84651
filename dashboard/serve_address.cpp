#include "serve_address.h"

#include "host_port.h"

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
    std::string host, port = text;
    switch (splitHostPort(text, host, port)) {
    case HostPortSplit::NoColon:
        break;
    case HostPortSplit::OpenBracket:
    case HostPortSplit::BareColons:
        problem = "an IPv6 address goes in brackets, e.g. [::1]:8470";
        return false;
    case HostPortSplit::Split:
        if (host.empty()) {
            problem = "the address before the port is empty: give HOST:PORT, or the port alone";
            return false;
        }
        parsed.host = host;
        break;
    }
    if (!parsePort(port, parsed.port)) {
        problem = "the port is not a number from 0 to 65535 (0 picks a free one)";
        return false;
    }
    address = parsed;
    return true;
}

} // namespace pxr7
