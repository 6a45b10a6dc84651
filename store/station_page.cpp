// The checks on a station's answer: nothing is stored from one that does not hold together.
#include "station_client.h"

#include "json_text.h"
#include "record_index.h"
#include "record_json.h"
#include "utf8_text.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

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

StationLine stationLine(std::string bench, std::int64_t seq, std::string bytes) {
    StationLine line;
    line.bench = std::move(bench);
    line.seq = seq;
    line.bytes = std::move(bytes);
    line.object = parseJsonLine(line.bytes);
    return line;
}

std::string utf8Text(const JsonValue& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) {
        return "";
    }
    const std::string& value = found->get_ref<const std::string&>();
    std::string text(value.begin(), std::find(value.begin(), value.end(), '\0'));
    for (std::size_t i = text.size(); i < value.size(); ++i) {
        text += value[i] == '\0' ? std::string("\xEF\xBF\xBD") : std::string(1, value[i]);
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

namespace {

// The line from start to its "\n" in bytes, start then past it; false with the reason when
// there is no whole line left or it is over the record's own limit. after names the line.
bool nextLineBytes(const std::string& jsonl, std::size_t& start, const std::string& after,
                   std::string& bytes, std::string& problem) {
    const std::size_t end = jsonl.find('\n', start);
    if (end == std::string::npos) {
        problem = "the station's lines are fewer than its page says";
        return false;
    }
    if (end - start > kMaxRecordLineBytes) {
        problem = "the station's line " + after + " is " + std::to_string(end - start) +
                  " bytes, over the " + std::to_string(kMaxRecordLineBytes >> 20) +
                  " MiB a record line may be";
        return false;
    }
    bytes = jsonl.substr(start, end - start);
    start = end + 1;
    return true;
}

// A line's bench as a station's page gives it: its own, read as the record is read, or for a
// line without one its host; in UTF-8, as the page's JSON holds it.
std::string pageBench(const RecordEntry& entry, const std::string& host) {
    JsonValue named = JsonValue::object();
    named["bench"] = jsonName(entry.bench.empty() ? host : entry.bench);
    return utf8Text(named, "bench");
}

bool seqFromHeader(const std::string& text, std::int64_t& seq) {
    const std::size_t digits = !text.empty() && text[0] == '-' ? 1 : 0;
    if (text.size() == digits || text.size() > digits + 19 ||
        text.find_first_not_of("0123456789", digits) != std::string::npos) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    seq = value;
    return errno == 0 && *end == '\0';
}

// Where the page says its next one starts, from its headers; false when they do not say it.
bool readSinceHeaders(const SinceHeaders& headers, StationPage& page) {
    if (!seqFromHeader(headers.nextSince, page.nextSince) ||
        (headers.more != "true" && headers.more != "false")) {
        return false;
    }
    page.more = headers.more == "true";
    page.stream = headers.stream;
    return true;
}

} // namespace

JsonlPage parseJsonlPage(const std::string& jsonl, const SinceHeaders& headers, std::int64_t since,
                         std::size_t asked, StationPage& page, std::string& problem) {
    page = StationPage{};
    const auto count = static_cast<std::size_t>(std::count(jsonl.begin(), jsonl.end(), '\n'));
    if (count > asked) {
        problem = "the station's answer holds " + std::to_string(count) + " lines, more than the " +
                  std::to_string(asked) + " asked for";
        return JsonlPage::Refused;
    }
    if (!jsonl.empty() && jsonl.back() != '\n') {
        problem = "the station's answer ends within a line";
        return JsonlPage::Refused;
    }
    std::int64_t after = since;
    std::size_t start = 0;
    std::string bytes;
    while (start < jsonl.size()) {
        if (!nextLineBytes(jsonl, start, "after seq " + std::to_string(after), bytes, problem)) {
            return JsonlPage::Refused;
        }
        RecordEntry entry;
        std::string host;
        StationLine line = stationLine("", 0, std::move(bytes));
        if (!recordEntryOf(line.object, entry, host)) {
            problem =
                "the station's line after seq " + std::to_string(after) + " is not a record line";
            return JsonlPage::Refused;
        }
        if (!entry.seq) {
            return JsonlPage::NeedsIdentity;
        }
        if (*entry.seq <= after) {
            problem = "the station's answer holds seqs that do not rise above since";
            return JsonlPage::Refused;
        }
        line.bench = pageBench(entry, host);
        line.seq = after = *entry.seq;
        page.lines.push_back(std::move(line));
    }
    if (!readSinceHeaders(headers, page) || page.nextSince != after ||
        (page.more && page.lines.empty())) {
        problem = "the station's answer does not say where its next page starts";
        return JsonlPage::Refused;
    }
    return JsonlPage::Read;
}

bool attachLineBytes(const std::string& jsonl, StationPage& page, std::string& problem) {
    std::size_t start = 0;
    std::string bytes;
    for (StationLine& line : page.lines) {
        if (!nextLineBytes(jsonl, start, std::to_string(line.seq), bytes, problem)) {
            return false;
        }
        line = stationLine(std::move(line.bench), line.seq, std::move(bytes));
        RecordEntry entry;
        std::string host;
        // An old line has no seq of its own: its derived one is negative.
        const bool same = recordEntryOf(line.object, entry, host) &&
                          pageBench(entry, host) == line.bench &&
                          (entry.seq ? *entry.seq == line.seq : line.seq < 0);
        if (!same) {
            problem =
                "the station's line " + std::to_string(line.seq) + " is not the one its page names";
            return false;
        }
    }
    return true;
}

} // namespace pxr7
