#include "host_port.h"

namespace pxr7 {

HostPortSplit splitHostPort(const std::string& text, std::string& host, std::string& port) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        return HostPortSplit::NoColon;
    }
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (!host.empty() && host.front() == '[') {
        if (host.size() < 3 || host.back() != ']') {
            return HostPortSplit::OpenBracket;
        }
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string::npos) {
        return HostPortSplit::BareColons;
    }
    return HostPortSplit::Split;
}

} // namespace pxr7
