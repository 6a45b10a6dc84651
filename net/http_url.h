// A station's address as the person gives it, read one way for the command line, the collector
// and the overview: http://HOST:PORT or https://HOST:PORT, with or without a final "/", an IPv6
// host in brackets.
#pragma once

#include <string>

namespace pxr7 {

struct HttpUrl {
    bool tls = false;       // https://
    std::string host;       // without brackets: what is resolved and what a certificate names
    std::string port;       // digits, as given
    std::string hostHeader; // HOST:PORT as given, brackets kept: the request's Host
};

// False, with the reason in problem, for anything else: no port, a path, a query, a user, an
// IPv6 address out of brackets, a port of more than five digits.
bool parseHttpUrl(const std::string& url, HttpUrl& parsed, std::string& problem);

} // namespace pxr7
