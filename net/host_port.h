// "HOST:PORT" taken apart one way, for a station's URL (http_url.h) and the address the pages
// listen on (dashboard/serve_address.h): at the last colon, an IPv6 host in brackets.
#pragma once

#include <string>

namespace pxr7 {

enum class HostPortSplit {
    Split,       // host (brackets taken off) and port, as written; either may be empty
    NoColon,     // no port given
    OpenBracket, // a bracket that does not close just before the port's colon, or "[]"
    BareColons,  // an IPv6 address out of brackets: its colons would be taken for the port's
};

HostPortSplit splitHostPort(const std::string& text, std::string& host, std::string& port);

} // namespace pxr7
