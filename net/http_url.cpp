#include "http_url.h"

#include "host_port.h"

namespace pxr7 {

bool parseHttpUrl(const std::string& url, HttpUrl& parsed, std::string& problem) {
    HttpUrl read;
    read.tls = url.rfind("https://", 0) == 0;
    const std::string scheme = read.tls ? "https://" : "http://";
    std::string rest = url.rfind(scheme, 0) == 0 ? url.substr(scheme.size()) : "";
    if (!rest.empty() && rest.back() == '/') {
        rest.pop_back();
    }
    read.hostHeader = rest;
    const bool split = splitHostPort(rest, read.host, read.port) == HostPortSplit::Split;
    const bool portOk = !read.port.empty() && read.port.size() <= 5 &&
                        read.port.find_first_not_of("0123456789") == std::string::npos;
    const bool hostOk =
        !read.host.empty() && read.host.find_first_of("/?#@ []") == std::string::npos;
    if (!split || !portOk || !hostOk) {
        problem = "not an http://HOST:PORT or https://HOST:PORT address";
        return false;
    }
    parsed = read;
    return true;
}

} // namespace pxr7
