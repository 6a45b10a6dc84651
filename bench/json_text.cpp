#include "json_text.h"

#include "utf8.h"

#include <algorithm>
#include <cmath>

namespace pxr7 {

namespace {

// Each byte as the character of its value, in UTF-8.
std::string asCodePoints(const std::string& bytes) {
    std::string utf8;
    utf8.reserve(bytes.size() * 2);
    for (const unsigned char c : bytes) {
        if (c < 0x80) {
            utf8.push_back(static_cast<char>(c));
        } else {
            utf8.push_back(static_cast<char>(0xC0 | (c >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return utf8;
}

// The characters of utf8 up to U+00FF as one byte each; one beyond as its UTF-8 bytes, or,
// with wideFails, false.
bool asBytes(const std::string& utf8, std::string& bytes, bool wideFails = true) {
    // Most texts are ASCII: one scan, one copy.
    const auto wide = std::find_if(utf8.begin(), utf8.end(),
                                   [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    bytes.assign(utf8.begin(), wide);
    bytes.reserve(utf8.size());
    for (auto i = static_cast<std::size_t>(wide - utf8.begin()); i < utf8.size(); ++i) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        // U+0080 to U+00FF: two bytes, C2 or C3 and a continuation byte.
        if ((lead == 0xC2 || lead == 0xC3) && i + 1 < utf8.size()) {
            bytes.push_back(static_cast<char>(((lead & 0x03) << 6) | (utf8[i + 1] & 0x3F)));
            ++i;
        } else if (lead < 0x80 || !wideFails) {
            bytes.push_back(static_cast<char>(lead));
        } else {
            return false;
        }
    }
    return true;
}

// Counts brackets outside strings, so a hostile line costs one pass and no deep parse.
bool nestsTooDeep(const std::string& text, int maxDepth) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            if (++depth > maxDepth) {
                return true;
            }
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return false;
}

} // namespace

JsonValue jsonText(const std::string& bytes) {
    return JsonValue(asCodePoints(bytes));
}

JsonValue jsonTextOrNull(const std::string& bytes) {
    return bytes.empty() ? JsonValue(nullptr) : jsonText(bytes);
}

std::string textOf(const JsonValue& value) {
    if (!value.is_string()) {
        return "";
    }
    std::string bytes;
    asBytes(value.get_ref<const std::string&>(), bytes, false);
    return bytes;
}

JsonValue jsonName(const std::string& name) {
    return isUtf8(name) ? JsonValue(name) : jsonText(name);
}

JsonValue jsonNameOrNull(const std::string& name) {
    return name.empty() ? JsonValue(nullptr) : jsonName(name);
}

std::string nameOf(const JsonValue& value) {
    if (!value.is_string()) {
        return "";
    }
    const std::string& utf8 = value.get_ref<const std::string&>();
    std::string bytes;
    // Beyond U+00FF it can only be UTF-8 text; a line older than UTF-8 names holds a name's
    // bytes one per character, and such bytes are UTF-8 themselves.
    if (!asBytes(utf8, bytes) || !isUtf8(bytes)) {
        return utf8;
    }
    return bytes;
}

JsonValue jsonDecimal3(double value) {
    return std::round(value * 1000) / 1000;
}

std::string jsonLine(const JsonValue& value) {
    return value.dump(-1, ' ', true, JsonValue::error_handler_t::replace);
}

std::string jsonString(const std::string& text) {
    return jsonLine(jsonText(text));
}

JsonValue parseJsonLine(const std::string& line, int maxDepth) {
    if (nestsTooDeep(line, maxDepth)) {
        return JsonValue(JsonValue::value_t::discarded);
    }
    return JsonValue::parse(line, nullptr, false);
}

} // namespace pxr7
