// The checks on a station's answer: nothing is stored from one that does not hold together.
#include "station_client.h"

#include "json_text.h"
#include "record_index.h"
#include "record_json.h"
#include "utf8_text.h"

namespace pxr7 {

namespace {

bool isInt64(const JsonValue& value) {
    return value.is_number_integer() &&
           (!value.is_number_unsigned() ||
            value.get<std::uint64_t>() <= static_cast<std::uint64_t>(INT64_MAX));
}

bool readItem(const JsonValue& item, std::int64_t after, StationLine& line, std::string& problem) {
    if (!item.is_object() || !item.contains("bench") || !item["bench"].is_string()) {
        problem = "a line without its bench";
    } else if (!item.contains("seq") || !isInt64(item["seq"])) {
        problem = "a line without a whole-number seq";
    } else if (!item.contains("line") || !item["line"].is_number_integer()) {
        problem = "a line without its line number";
    } else if (item["seq"].get<std::int64_t>() <= after) {
        problem = "seqs that do not rise above since";
    } else {
        line.bench = utf8Text(item, "bench");
        line.seq = item["seq"].get<std::int64_t>();
        return true;
    }
    return false;
}

bool readLines(const JsonValue& lines, std::int64_t since, StationPage& page,
               std::string& problem) {
    std::int64_t after = since;
    for (const JsonValue& item : lines) {
        StationLine line;
        if (!readItem(item, after, line, problem)) {
            return false;
        }
        after = line.seq;
        page.lines.push_back(std::move(line));
    }
    return true;
}

} // namespace

std::string utf8Text(const JsonValue& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) {
        return "";
    }
    std::string text;
    for (const char c : found->get_ref<const std::string&>()) {
        text += c == '\0' ? std::string("\xEF\xBF\xBD") : std::string(1, c);
    }
    return text;
}

bool parseSincePage(const std::string& body, std::int64_t since, std::size_t asked,
                    StationPage& page, std::string& problem) {
    page = StationPage{};
    // The record lines sit two levels down: in "lines", in their item.
    const JsonValue answer = parseJsonLine(body, kMaxJsonDepth + 2);
    if (!answer.is_object() || !answer.contains("lines") || !answer["lines"].is_array() ||
        !answer.contains("next_since") || !isInt64(answer["next_since"]) ||
        !answer.contains("more") || !answer["more"].is_boolean()) {
        problem = "the station's answer is not a page of its record";
        return false;
    }
    if (answer["lines"].size() > asked) {
        problem = "the station's answer holds " + std::to_string(answer["lines"].size()) +
                  " lines, more than the " + std::to_string(asked) + " asked for";
        return false;
    }
    if (!readLines(answer["lines"], since, page, problem)) {
        problem = "the station's answer holds " + problem;
        return false;
    }
    page.nextSince = answer["next_since"].get<std::int64_t>();
    page.more = answer["more"].get<bool>();
    page.stream = utf8Text(answer, "stream");
    const std::int64_t last = page.lines.empty() ? since : page.lines.back().seq;
    if (page.nextSince != last || (page.more && page.lines.empty())) {
        problem = "the station's answer does not say where its next page starts";
        return false;
    }
    return true;
}

bool attachLineBytes(const std::string& jsonl, StationPage& page, std::string& problem) {
    std::size_t start = 0;
    for (StationLine& line : page.lines) {
        const std::size_t end = jsonl.find('\n', start);
        if (end == std::string::npos) {
            problem = "the station's lines are fewer than its page says";
            return false;
        }
        if (end - start > kMaxRecordLineBytes) {
            problem = "the station's line " + std::to_string(line.seq) + " is " +
                      std::to_string(end - start) + " bytes, over the " +
                      std::to_string(kMaxRecordLineBytes >> 20) + " MiB a record line may be";
            return false;
        }
        line.bytes = jsonl.substr(start, end - start);
        start = end + 1;
        RecordEntry entry;
        std::string host;
        // An old line has no seq of its own: its derived one is negative.
        const bool same = parseRecordLine(line.bytes, entry, host) &&
                          (entry.seq ? *entry.seq == line.seq && utf8Text(parseJsonLine(line.bytes),
                                                                          "bench") == line.bench
                                     : line.seq < 0);
        if (!same) {
            problem =
                "the station's line " + std::to_string(line.seq) + " is not the one its page names";
            return false;
        }
    }
    return true;
}

} // namespace pxr7
