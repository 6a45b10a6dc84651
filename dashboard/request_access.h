// Who may read the pages. The Host a request names must be one of this machine's (a page
// elsewhere reaches the server only through a name of its own that leads here, so a name is
// checked, an address cannot be such a trick); and with a read key, every request carries it:
// the API as "Authorization: Bearer KEY", a browser as a cookie it got from a link with ?key=.
#pragma once

#include "http_reply.h"

#include <set>
#include <string>

namespace pxr7 {

struct HostRules {
    bool loopbackOnly = true;    // listening on loopback: 127.0.0.1, localhost and [::1] only
    std::set<std::string> names; // beyond loopback: the names besides any address, lowercase
};

// Beyond loopback: the machine's own name (and NAME.local), the loopback names and the extra
// names given, each as its lowercase form.
HostRules hostRulesFor(bool loopbackOnly, const std::set<std::string>& extraNames);

// Whether a request with this Host header (port and all) is one to answer.
bool hostAllowed(const std::string& host, const HostRules& rules);

// A read key, and how a request shows it.
class ReadKey {
public:
    ReadKey() = default;
    explicit ReadKey(std::string key);

    bool required() const { return !key_.empty(); }
    // From the Authorization header ("Bearer KEY") or the cookie; in constant time.
    bool shownBy(const std::string& authorization, const std::string& cookie) const;
    bool matches(const std::string& given) const;
    // The cookie a link with the right key sets: named after the key, so dashboards on one
    // machine (their cookies share the host) keep theirs apart.
    std::string setCookie() const;

private:
    std::string key_, cookieName_;
};

// Reads a key file: its first line, 16 to 256 printable ASCII characters without blanks,
// quotes, commas, semicolons or backslashes (it goes into headers and cookies as it is). False with
// the reason.
bool readKeyFile(const std::string& path, std::string& key, std::string& problem);

} // namespace pxr7
