// The small text format the scenario and the state file share: `key = value` lines, `#`
// comments, blank lines ignored, and `[bridge N]` section headers. A value may be written in
// double quotes to keep leading or trailing blanks; inside quotes \" \\ and \xNN are escapes.
#pragma once

#include <string>
#include <vector>

namespace sim {

struct KeyValueEntry {
    int bridge;      // -1 before the first [bridge N] header
    std::string key; // as written
    std::string value;
    int line;
};

struct KeyValueText {
    std::vector<KeyValueEntry> entries;
    std::vector<int> sections;         // the N of each [bridge N] header, in order
    std::vector<std::string> problems; // "line 7: ..." for lines that could not be read
};

KeyValueText parseKeyValueText(const std::string& text);

// text without leading and trailing blanks, tabs and carriage returns.
std::string trim(const std::string& text);

// value written so that parseKeyValueText gives it back unchanged.
std::string quoteValue(const std::string& value);

bool readWholeFile(const std::string& path, std::string& contents);

// Writes through a temporary file and a rename, so a reader never sees half a file.
bool writeWholeFile(const std::string& path, const std::string& contents);

} // namespace sim
