#include "utf8.h"

#include <cstdint>
#include <cstdio>

namespace pxr7 {

namespace {

// The code point starting at text[at] and its length in bytes; length 0 when the bytes there
// are not a well-formed sequence.
struct Decoded {
    std::uint32_t code = 0;
    std::size_t length = 0;
};

Decoded decodeAt(const std::string& text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        return {lead, 1};
    }
    std::size_t length = 0;
    std::uint32_t code = 0, least = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, code = lead & 0x1Fu, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, code = lead & 0x0Fu, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, code = lead & 0x07u, least = 0x10000;
    } else {
        return {};
    }
    if (at + length > text.size()) {
        return {};
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) {
            return {};
        }
        code = code << 6 | (next & 0x3Fu);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return {};
    }
    return {code, length};
}

// Characters that format rather than show: they may reorder or break what follows them.
bool formats(std::uint32_t code) {
    return code < 0x20 || (code >= 0x7F && code < 0xA0) || code == 0x2028 || code == 0x2029 ||
           (code >= 0x200B && code <= 0x200F) || (code >= 0x202A && code <= 0x202E) ||
           (code >= 0x2060 && code <= 0x2069) || code == 0xFEFF;
}

} // namespace

bool isUtf8(const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        const Decoded decoded = decodeAt(text, at);
        if (decoded.length == 0) {
            return false;
        }
        at += decoded.length;
    }
    return true;
}

std::string printableName(const std::string& text, bool utf8Terminal) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const Decoded decoded = decodeAt(text, at);
        if (decoded.length == 0) {
            out.push_back('?');
            ++at;
            continue;
        }
        if (decoded.code < 0x80 && !formats(decoded.code)) {
            out.push_back(static_cast<char>(decoded.code));
        } else if (utf8Terminal && !formats(decoded.code)) {
            out.append(text, at, decoded.length);
        } else {
            char escape[16];
            std::snprintf(escape, sizeof escape, "\\u{%04X}", static_cast<unsigned>(decoded.code));
            out += escape;
        }
        at += decoded.length;
    }
    return out;
}

} // namespace pxr7
