#include "http_url.h"

namespace pxr7 {

bool parseHttpUrl(const std::string& url, HttpUrl& parsed, std::string& problem) {
    HttpUrl read;
    read.tls = url.rfind("https://", 0) == 0;
    const std::string scheme = read.tls ? "https://" : "http://";
    std::string rest = url.rfind(scheme, 0) == 0 ? url.substr(scheme.size()) : "";
    if (!rest.empty() && rest.back() == '/') {
        rest.pop_back();
    }
    const std::size_t colon = rest.rfind(':');
    const bool bracketed = !rest.empty() && rest.front() == '[';
    const std::string host = colon == std::string::npos ? "" : rest.substr(0, colon);
    read.port = colon == std::string::npos ? "" : rest.substr(colon + 1);
    read.host =
        bracketed && host.size() > 2 && host.back() == ']' ? host.substr(1, host.size() - 2) : host;
    read.hostHeader = rest;
    const bool portOk = !read.port.empty() && read.port.size() <= 5 &&
                        read.port.find_first_not_of("0123456789") == std::string::npos;
    const bool hostOk = !read.host.empty() &&
                        read.host.find_first_of("/?#@ []") == std::string::npos &&
                        (bracketed || host.find(':') == std::string::npos);
    if (!portOk || !hostOk) {
        problem = "not an http://HOST:PORT or https://HOST:PORT address";
        return false;
    }
    parsed = read;
    return true;
}

} // namespace pxr7
