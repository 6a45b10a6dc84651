#include "record_export.h"

#include "json_text.h"
#include "record_json.h"

namespace pxr7 {

namespace {

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool isUtf8(const std::string& bytes) {
    static const unsigned kLeast[] = {0, 0x80, 0x800, 0x10000};
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t more = lead < 0x80   ? 0
                                 : lead < 0xC0 ? 4
                                 : lead < 0xE0 ? 1
                                 : lead < 0xF0 ? 2
                                 : lead < 0xF8 ? 3
                                               : 4;
        if (more == 4 || bytes.size() - i <= more) {
            return false;
        }
        unsigned code = lead & (0x7Fu >> more); // the marker bits above are zero
        for (std::size_t k = 1; k <= more; ++k) {
            const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3Fu);
        }
        if (code < kLeast[more] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
            return false;
        }
        i += more + 1;
    }
    return true;
}

// A value of the line as the field's text.
std::string fieldText(const JsonValue& value) {
    if (value.is_null()) {
        return "";
    }
    if (!value.is_string()) {
        return jsonLine(value);
    }
    // The record keeps a meter's bytes as characters U+0000 to U+00FF: bytes that make UTF-8
    // (an operator's unit id) are shown as that, others as those characters.
    const std::string bytes = textOf(value);
    return isUtf8(bytes) ? bytes : value.get_ref<const std::string&>();
}

void appendRow(const std::vector<const char*>& keys, const JsonValue& object, std::string& out) {
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        const auto found = object.find(keys[i]);
        if (found != object.end()) {
            out += csvField(fieldText(*found));
        }
    }
    out += "\r\n";
}

} // namespace

std::string csvField(const std::string& text) {
    if (text.find_first_of("\",\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + '"';
}

std::string recordCsvHeader() {
    const std::vector<const char*> keys = recordKeyNames();
    std::string out;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        out += i > 0 ? "," : "";
        out += keys[i];
    }
    return out + "\r\n";
}

void appendRecordCsvRow(const std::string& line, std::string& out) {
    static const std::vector<const char*> keys = recordKeyNames();
    appendRow(keys, parseJsonLine(line), out);
}

bool recordCsv(RecordIndex& index, const std::vector<const IndexedLine*>& lines, std::string& out,
               std::string& problem) {
    const std::vector<const char*> keys = recordKeyNames();
    out = recordCsvHeader();
    return index.readBack(
        lines,
        [&](const IndexedLine&, const std::string& line) {
            appendRow(keys, parseJsonLine(line), out);
        },
        problem);
}

bool recordJsonLines(RecordIndex& index, const std::vector<const IndexedLine*>& lines,
                     std::string& out, std::string& problem) {
    out.clear();
    return index.readBack(
        lines,
        [&](const IndexedLine&, const std::string& line) {
            out += line;
            out += '\n';
        },
        problem);
}

} // namespace pxr7
