#include "http_reply.h"

#include "json_text.h"

namespace pxr7 {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Undoes %XX escapes (and '+' in a query); false on a broken escape or a NUL.
bool decode(const std::string& text, bool query, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            const int high = i + 2 < text.size() ? hexDigit(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? hexDigit(text[i + 2]) : -1;
            if (high < 0 || low < 0) {
                return false;
            }
            c = static_cast<char>(high * 16 + low);
            i += 2;
        } else if (c == '+' && query) {
            c = ' ';
        }
        if (c == '\0') {
            return false;
        }
        out += c;
    }
    return true;
}

bool parseQuery(const std::string& query, QueryParams& params) {
    std::size_t start = 0;
    while (start <= query.size()) {
        std::size_t end = query.find('&', start);
        if (end == std::string::npos) {
            end = query.size();
        }
        const std::string pair = query.substr(start, end - start);
        if (!pair.empty()) {
            const std::size_t equals = pair.find('=');
            std::string name, value;
            if (!decode(pair.substr(0, equals), true, name) ||
                (equals != std::string::npos && !decode(pair.substr(equals + 1), true, value))) {
                return false;
            }
            params.emplace(name, value);
        }
        start = end + 1;
    }
    return true;
}

} // namespace

RequestTarget parseTarget(const std::string& target) {
    RequestTarget parsed;
    const std::size_t mark = target.find('?');
    parsed.valid =
        !target.empty() && target[0] == '/' && decode(target.substr(0, mark), false, parsed.path) &&
        (mark == std::string::npos || parseQuery(target.substr(mark + 1), parsed.params));
    if (!parsed.valid) {
        parsed.path.clear();
        parsed.params.clear();
    }
    return parsed;
}

HttpReply jsonReply(int status, std::string body) {
    HttpReply reply;
    reply.status = status;
    reply.contentType = "application/json";
    reply.body = std::move(body);
    return reply;
}

HttpReply errorReply(int status, const std::string& text) {
    JsonValue error = JsonValue::object();
    error["error"] = jsonText(text);
    return jsonReply(status, jsonLine(error));
}

std::string asciiLowered(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

} // namespace pxr7
