#include "key_value_text.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace sim {

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

bool unquote(const std::string& quoted, std::string& out) {
    out.clear();
    for (std::size_t i = 1; i < quoted.size(); ++i) {
        const char c = quoted[i];
        if (c == '"') {
            return i + 1 == quoted.size();
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (i + 1 >= quoted.size()) {
            return false;
        }
        const char escaped = quoted[++i];
        if (escaped == 'x' && i + 2 < quoted.size() && hexDigit(quoted[i + 1]) >= 0 &&
            hexDigit(quoted[i + 2]) >= 0) {
            out += static_cast<char>(hexDigit(quoted[i + 1]) * 16 + hexDigit(quoted[i + 2]));
            i += 2;
        } else if (escaped == '"' || escaped == '\\') {
            out += escaped;
        } else {
            return false;
        }
    }
    return false;
}

bool parseSectionHeader(const std::string& line, int& bridge) {
    // "[bridge N]"
    const std::string inner = trim(line.substr(1, line.size() - 2));
    if (inner.compare(0, 6, "bridge") != 0) {
        return false;
    }
    const std::string number = trim(inner.substr(6));
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos ||
        number.size() > 3) {
        return false;
    }
    bridge = std::atoi(number.c_str());
    return true;
}

} // namespace

std::string trim(const std::string& text) {
    const char* blanks = " \t\r";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return std::string();
    }
    const std::size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

KeyValueText parseKeyValueText(const std::string& text) {
    KeyValueText result;
    std::istringstream lines(text);
    std::string raw;
    int lineNumber = 0;
    int bridge = -1;
    while (std::getline(lines, raw)) {
        ++lineNumber;
        const std::string line = trim(raw);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (line.front() == '[' && line.back() == ']') {
            if (!parseSectionHeader(line, bridge)) {
                result.problems.push_back(where + "unknown section " + line);
                bridge = -2; // keys of an unknown section are ignored
                continue;
            }
            result.sections.push_back(bridge);
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            result.problems.push_back(where + "expected key = value");
            continue;
        }
        KeyValueEntry entry{bridge, trim(line.substr(0, equals)), trim(line.substr(equals + 1)),
                            lineNumber};
        if (!entry.value.empty() && entry.value[0] == '"') {
            std::string unquoted;
            if (!unquote(entry.value, unquoted)) {
                result.problems.push_back(where + "bad quoted value");
                continue;
            }
            entry.value = unquoted;
        }
        if (bridge != -2) {
            result.entries.push_back(entry);
        }
    }
    return result;
}

std::string quoteValue(const std::string& value) {
    std::string out = "\"";
    for (const char c : value) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u >= 0x7F) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", u);
            out += escape;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

bool readWholeFile(const std::string& path, std::string& contents) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    contents = buffer.str();
    return true;
}

bool writeWholeFile(const std::string& path, const std::string& contents) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            return false;
        }
        out << contents;
        if (!out.flush()) {
            return false;
        }
    }
    // rename() does not replace an existing file on Windows.
    std::remove(path.c_str());
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

} // namespace sim
