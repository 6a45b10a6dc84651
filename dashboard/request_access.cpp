#include "request_access.h"

#include "host_name.h"
#include "sha256.h"

#include <algorithm>
#include <fstream>

namespace pxr7 {

namespace {

// The name of a Host header without its port: "[::1]" stays bracketed.
std::string nameOfHost(const std::string& host) {
    std::string name = asciiLowered(host);
    const std::size_t colon = name.rfind(':');
    if (colon != std::string::npos && name.find(']', colon) == std::string::npos) {
        name.erase(colon);
    }
    return name;
}

bool isIpv4(const std::string& name) {
    int parts = 0, digits = 0, value = 0;
    for (const char c : name + ".") {
        if (c == '.') {
            if (digits == 0 || value > 255) {
                return false;
            }
            ++parts;
            digits = value = 0;
        } else if (c >= '0' && c <= '9' && digits < 3) {
            value = value * 10 + (c - '0');
            ++digits;
        } else {
            return false;
        }
    }
    return parts == 4;
}

bool isBracketedIpv6(const std::string& name) {
    return name.size() > 2 && name.front() == '[' && name.back() == ']' &&
           name.find_first_not_of("0123456789abcdef:.", 1) == name.size() - 1;
}

bool loopbackName(const std::string& name) {
    return name == "127.0.0.1" || name == "localhost" || name == "[::1]";
}

bool sameInConstantTime(const std::string& a, const std::string& b) {
    unsigned char differ = a.size() == b.size() ? 0 : 1;
    for (std::size_t i = 0; i < a.size(); ++i) {
        differ |= static_cast<unsigned char>(a[i] ^ (i < b.size() ? b[i] : 0));
    }
    return differ == 0;
}

// The value of the cookie name in a Cookie header; "" when it has none.
std::string cookieValue(const std::string& header, const std::string& name) {
    std::size_t at = 0;
    while (at < header.size()) {
        const std::size_t end = std::min(header.find(';', at), header.size());
        std::size_t start = header.find_first_not_of(' ', at);
        if (start < end && header.compare(start, name.size() + 1, name + "=") == 0) {
            start += name.size() + 1;
            return header.substr(start, end - start);
        }
        at = end + 1;
    }
    return "";
}

} // namespace

HostRules hostRulesFor(bool loopbackOnly, const std::set<std::string>& extraNames) {
    HostRules rules;
    rules.loopbackOnly = loopbackOnly;
    const std::string own = asciiLowered(hostName());
    if (!own.empty()) {
        rules.names = {own, own + ".local"};
    }
    for (const std::string& name : extraNames) {
        rules.names.insert(asciiLowered(name));
    }
    return rules;
}

bool hostAllowed(const std::string& host, const HostRules& rules) {
    const std::string name = nameOfHost(host);
    if (loopbackName(name)) {
        return true;
    }
    if (rules.loopbackOnly) {
        return false;
    }
    return isIpv4(name) || isBracketedIpv6(name) || rules.names.count(name) > 0;
}

ReadKey::ReadKey(std::string key) : key_(std::move(key)) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(key_.data());
    cookieName_ = "pxr7_key_" + sha256Hex(bytes, key_.size()).substr(0, 12);
}

bool ReadKey::matches(const std::string& given) const {
    return required() && sameInConstantTime(given, key_);
}

bool ReadKey::shownBy(const std::string& authorization, const std::string& cookie) const {
    const std::string bearer = "Bearer ";
    if (authorization.compare(0, bearer.size(), bearer) == 0 &&
        matches(authorization.substr(bearer.size()))) {
        return true;
    }
    return matches(cookieValue(cookie, cookieName_));
}

std::string ReadKey::setCookie() const {
    return cookieName_ + "=" + key_ + "; Path=/; HttpOnly; SameSite=Strict";
}

bool readKeyFile(const std::string& path, std::string& key, std::string& problem) {
    std::ifstream file(path, std::ios::binary);
    std::string line;
    if (!file || !std::getline(file, line)) {
        problem = "cannot read the key file " + path;
        return false;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    const bool printable =
        line.find_first_not_of("!#$%&'()*+-./0123456789:<=>?@"
                               "ABCDEFGHIJKLMNOPQRSTUVWXYZ[]^_`"
                               "abcdefghijklmnopqrstuvwxyz{|}~") == std::string::npos;
    if (line.size() < 16 || line.size() > 256 || !printable) {
        problem = "the key file " + path +
                  " must hold the key on its first line: 16 to 256 printable characters, "
                  "without blanks, quotes, commas, ';' or '\\'";
        return false;
    }
    key = line;
    return true;
}

} // namespace pxr7
