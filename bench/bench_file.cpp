#include "bench_file.h"

#include "printable.h"
#include "record.h"
#include "unit_ids.h"
#include "utf8.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace pxr7 {

namespace {

constexpr std::size_t kLongestName = 64;
constexpr std::size_t kLongestSerial = 64;
// A bench file is a few dozen lines; anything this big is not one.
constexpr long kLargestFile = 64 * 1024;

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool hasControl(const std::string& text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte == 0x7F) {
            return true;
        }
    }
    return false;
}

// "0x" and one to eight hex digits, as the record writes a location.
bool parseLocation(const std::string& text, std::uint32_t& location) {
    if (text.size() < 3 || text.size() > 10 || text[0] != '0' ||
        (text[1] != 'x' && text[1] != 'X')) {
        return false;
    }
    std::uint32_t value = 0;
    for (std::size_t i = 2; i < text.size(); ++i) {
        const char c = text[i];
        const char* digits = "0123456789abcdef";
        const char lower = c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c;
        const char* at = std::strchr(digits, lower);
        if (lower == '\0' || at == nullptr) {
            return false;
        }
        value = value << 4 | static_cast<std::uint32_t>(at - digits);
    }
    location = value;
    return true;
}

// A whole number from lowest to highest, in at most three digits.
bool parseWhole(const std::string& text, int lowest, int highest, int& number) {
    if (text.empty() || text.size() > 3 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const int value = std::stoi(text);
    if (value < lowest || value > highest) {
        return false;
    }
    number = value;
    return true;
}

class LineReader {
public:
    // The problem with one line, "" when it is fine.
    std::string take(const std::string& raw, int number);
    BenchFile bench;

private:
    std::string name(const std::string& key, const std::string& name, int number);
    std::string unitIdSetting(const std::string& key, const std::string& value, int number);
    std::string numberSetting(const std::string& key, const std::string& value, int number);
    std::string leadName(const std::string& key, const std::string& value, int number);

    std::map<std::string, int> seen_; // setting -> the line that gave it
};

std::string LineReader::name(const std::string& key, const std::string& value, int number) {
    if (value.empty()) {
        return "no name after '='";
    }
    if (value.size() > kLongestName) {
        return "the name is longer than 64 characters";
    }
    const auto was = seen_.emplace(key, number);
    if (!was.second) {
        return printable(key) + " is named already on line " + std::to_string(was.first->second);
    }
    return "";
}

// Who runs the bench, held to a unit id's rules; and the order ids without a scan go in.
std::string LineReader::unitIdSetting(const std::string& key, const std::string& value,
                                      int number) {
    if (key == "unit_id_order") {
        if (value != "fixture" && value != "oldest_first") {
            return "unit_id_order takes fixture or oldest_first";
        }
        bench.unitIdsOldestFirst = value == "oldest_first";
        return name(key, value, number);
    }
    const UnitIdRefusal refusal = checkUnitIdText(value);
    if (refusal != UnitIdRefusal::None && refusal != UnitIdRefusal::Empty) {
        return std::string("the operator's name: ") + unitIdRefusalText(refusal);
    }
    bench.operatorName = value;
    return name(key, value, number);
}

// The settings that take a whole number; "" with nothing said when key is none of them.
std::string LineReader::numberSetting(const std::string& key, const std::string& value,
                                      int number) {
    if (key == "verify_seconds" &&
        !parseWhole(value, 1, kLongestVerifySeconds, bench.verifySeconds)) {
        return "verify_seconds takes a whole number of seconds from 1 to " +
               std::to_string(kLongestVerifySeconds);
    }
    if (key == "out_of_service_after" &&
        !parseWhole(value, 0, kMostFailuresInARow, bench.outOfServiceAfter)) {
        return "out_of_service_after takes a number of meters from 0 (never) to " +
               std::to_string(kMostFailuresInARow);
    }
    return name(key, value, number);
}

std::string LineReader::take(const std::string& raw, int number) {
    const std::string line = trimmed(raw);
    if (line.empty() || line[0] == '#') {
        return "";
    }
    if (hasControl(line)) {
        return "a control character";
    }
    if (!isUtf8(line)) {
        return "bytes that are not UTF-8 text (save the file as UTF-8)";
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) {
        return "expected 'bench = NAME', 'serial S = NAME', 'location 0xL = NAME', "
               "'unit_ids = yes|no', 'verify_seconds = N', 'unit_id_order = "
               "fixture|oldest_first', 'out_of_service_after = N' or 'operator = NAME'";
    }
    const std::string key = trimmed(line.substr(0, equals));
    const std::string value = trimmed(line.substr(equals + 1));
    if (key == "bench") {
        // The bench's name goes into every record line: printable, no tabs.
        if (value.find('\t') != std::string::npos) {
            return "the bench's name has a tab";
        }
        bench.name = value;
        return name(key, value, number);
    }
    if (key == "operator" || key == "unit_id_order") {
        return unitIdSetting(key, value, number);
    }
    if (key == "unit_ids") {
        if (value != "yes" && value != "no") {
            return "unit_ids takes yes or no";
        }
        bench.unitIds = value == "yes";
        return name(key, value, number);
    }
    if (key == "verify_seconds" || key == "out_of_service_after") {
        return numberSetting(key, value, number);
    }
    return leadName(key, value, number);
}

// 'serial S = NAME' and 'location 0xL = NAME'.
std::string LineReader::leadName(const std::string& key, const std::string& value, int number) {
    const std::size_t space = key.find_first_of(" \t");
    const std::string kind = key.substr(0, space);
    const std::string what = space == std::string::npos ? "" : trimmed(key.substr(space));
    if (kind == "serial") {
        if (what.empty() || what.size() > kLongestSerial ||
            what.find_first_of(" \t") != std::string::npos) {
            return "expected one serial number after 'serial'";
        }
        const std::string problem = name("serial " + what, value, number);
        bench.bySerial[what] = value;
        return problem;
    }
    std::uint32_t location = 0;
    if (kind == "location") {
        if (!parseLocation(what, location)) {
            return "expected a location as the record writes it (0x01200000)";
        }
        const std::string problem = name("location " + locationText(location), value, number);
        bench.byLocation[location] = value;
        return problem;
    }
    return "unknown setting " + printable(kind.substr(0, 32));
}

} // namespace

BenchFileParse parseBenchFile(const std::string& text) {
    BenchFileParse parse;
    LineReader reader;
    std::size_t start = 0;
    for (int number = 1; start <= text.size(); ++number) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        // A line with a NUL byte is not text; hasControl sees the rest.
        const std::string problem = line.find('\0') != std::string::npos
                                        ? "a control character"
                                        : reader.take(line, number);
        if (!problem.empty()) {
            parse.ok = false;
            parse.line = number;
            parse.problem = problem;
            return parse;
        }
        start = end + 1;
    }
    parse.bench = reader.bench;
    return parse;
}

std::string laneNameFor(const BenchFile& bench, const std::string& serial,
                        const std::optional<std::uint32_t>& location) {
    if (location) {
        const auto found = bench.byLocation.find(*location);
        if (found != bench.byLocation.end()) {
            return found->second;
        }
    }
    const auto found = bench.bySerial.find(serial);
    return found != bench.bySerial.end() ? found->second : "";
}

bool loadBenchFile(const std::string& path, bool mustExist, BenchFile& bench,
                   std::string& problem) {
    bench = BenchFile();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        if (errno == ENOENT && !mustExist) {
            return true;
        }
        problem = "the bench file " + printable(path) + ": " + std::strerror(errno);
        return false;
    }
    std::string text;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0 &&
           text.size() <= static_cast<std::size_t>(kLargestFile)) {
        text.append(buffer, got);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed || text.size() > static_cast<std::size_t>(kLargestFile)) {
        problem = "the bench file " + printable(path) +
                  (failed ? ": cannot be read" : ": larger than 64 KiB, not a bench file");
        return false;
    }
    const BenchFileParse parse = parseBenchFile(text);
    if (!parse.ok) {
        problem = "the bench file " + printable(path) + ", line " + std::to_string(parse.line) +
                  ": " + parse.problem;
        return false;
    }
    bench = parse.bench;
    return true;
}

} // namespace pxr7
