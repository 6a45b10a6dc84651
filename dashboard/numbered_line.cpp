#include "numbered_line.h"

#include "json_text.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace pxr7 {

namespace {

// A member of the object at the top: its key, decoded, and where its value's bytes are.
struct Member {
    std::string key;
    std::size_t valueStart = 0, valueEnd = 0;
};

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::size_t skipSpace(const std::string& text, std::size_t at) {
    while (at < text.size() && isSpace(text[at])) {
        ++at;
    }
    return at;
}

// Past the string that starts at the quote at.
std::size_t pastString(const std::string& text, std::size_t at) {
    for (++at; at < text.size() && text[at] != '"'; ++at) {
        at += text[at] == '\\' ? 1 : 0;
    }
    return std::min(at + 1, text.size());
}

// Past the value that starts at at: a string, an object or array (brackets counted outside
// strings), or a number or literal.
std::size_t pastValue(const std::string& text, std::size_t at) {
    if (at < text.size() && text[at] == '"') {
        return pastString(text, at);
    }
    if (at < text.size() && (text[at] == '{' || text[at] == '[')) {
        int depth = 0;
        while (at < text.size()) {
            const char c = text[at];
            if (c == '"') {
                at = pastString(text, at);
                continue;
            }
            depth += c == '{' || c == '[' ? 1 : c == '}' || c == ']' ? -1 : 0;
            ++at;
            if (depth == 0) {
                break;
            }
        }
        return at;
    }
    while (at < text.size() && std::strchr(",}] \t\r\n", text[at]) == nullptr) {
        ++at;
    }
    return at;
}

std::string keyOf(const std::string& quoted) {
    if (quoted.find('\\') == std::string::npos) {
        return quoted.substr(1, quoted.size() - 2);
    }
    const JsonValue key = JsonValue::parse(quoted, nullptr, false);
    return key.is_string() ? key.get<std::string>() : std::string();
}

// The top-level members of text, a JSON object, and where its braces are.
std::vector<Member> membersOf(const std::string& text, std::size_t& open, std::size_t& close) {
    std::vector<Member> members;
    open = skipSpace(text, 0);
    std::size_t at = skipSpace(text, open + 1);
    while (at < text.size() && text[at] == '"') {
        const std::size_t keyEnd = pastString(text, at);
        Member member;
        member.key = keyOf(text.substr(at, keyEnd - at));
        member.valueStart = skipSpace(text, skipSpace(text, keyEnd) + 1); // past the ':'
        member.valueEnd = pastValue(text, member.valueStart);
        members.push_back(std::move(member));
        at = skipSpace(text, member.valueEnd);
        at = at < text.size() && text[at] == ',' ? skipSpace(text, at + 1) : at;
    }
    close = at;
    return members;
}

// The member's bytes as the page adds it.
std::string memberText(const char* key, const JsonValue& value) {
    return jsonString(key) + ":" + jsonLine(value);
}

// The last member named key; nullptr when there is none.
const Member* lastNamed(const std::vector<Member>& members, const char* key) {
    const auto found = std::find_if(members.rbegin(), members.rend(),
                                    [&](const Member& m) { return m.key == key; });
    return found != members.rend() ? &*found : nullptr;
}

struct Edit {
    std::size_t start, end;
    std::string text;
};

// Gives key the value wanted: false when the line has no such member (the caller adds it),
// else true, with an edit when its last value is another.
bool replaced(const std::string& text, const std::vector<Member>& members, const char* key,
              const JsonValue& wanted, std::vector<Edit>& edits) {
    const Member* found = lastNamed(members, key);
    if (found == nullptr) {
        return false;
    }
    const std::string value = text.substr(found->valueStart, found->valueEnd - found->valueStart);
    if (JsonValue::parse(value, nullptr, false) != wanted) {
        edits.push_back({found->valueStart, found->valueEnd, jsonLine(wanted)});
    }
    return true;
}

} // namespace

std::string numberedLine(const IndexedLine& indexed, const std::string& bytes) {
    std::size_t open = 0, close = 0;
    const std::vector<Member> members = membersOf(bytes, open, close);
    std::vector<Edit> edits;
    const JsonValue number = indexed.number;
    if (!replaced(bytes, members, "line", number, edits)) {
        edits.push_back({open + 1, open + 1, memberText("line", number) + ","});
    }
    std::string tail;
    const JsonValue bench = jsonName(indexed.entry.bench), seq = *indexed.entry.seq;
    if (!replaced(bytes, members, "bench", bench, edits)) {
        tail += "," + memberText("bench", bench);
    }
    if (!replaced(bytes, members, "seq", seq, edits)) {
        tail += "," + memberText("seq", seq);
    }
    edits.push_back({close, close, tail});
    // From the end, so that each edit's place still holds.
    std::sort(edits.begin(), edits.end(),
              [](const Edit& a, const Edit& b) { return a.start > b.start; });
    std::string line = bytes;
    for (const Edit& edit : edits) {
        line.replace(edit.start, edit.end - edit.start, edit.text);
    }
    return line;
}

} // namespace pxr7
