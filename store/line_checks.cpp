#include "line_checks.h"

#include "record_chain.h"
#include "record_index.h"
#include "record_json.h"
#include "utf8_text.h"

namespace pxr7 {

namespace {

LineKey keyOf(const CheckedLine& line, std::int64_t seq) {
    return line.stream.empty() ? LineKey{"", line.line->bench, seq} : LineKey{line.stream, "", seq};
}

// A reason the line itself gives, before any key is looked at; "" when none.
std::string limitBroken(const CheckedLine& line) {
    if (line.line->bytes.size() > kMaxRecordLineBytes) {
        return "it is longer than a record line may be (4 MiB)";
    }
    if (line.line->bench.size() > kMaxBenchBytes) {
        return "its bench is longer than " + std::to_string(kMaxBenchBytes) + " bytes";
    }
    if (!line.stream.empty() && !isStreamId(line.stream)) {
        return "its stream is not a stream id";
    }
    if (!line.prev.empty() && !isLineDigest(line.prev)) {
        return "its prev is not a SHA-256";
    }
    return "";
}

const std::string* found(const std::map<LineKey, std::string>& digests, const LineKey& key) {
    const auto at = digests.find(key);
    return at != digests.end() ? &at->second : nullptr;
}

} // namespace

std::vector<CheckedLine> readPageLines(const StationPage& page) {
    std::vector<CheckedLine> lines;
    for (const StationLine& line : page.lines) {
        CheckedLine checked;
        checked.line = &line;
        // A stream or prev that is no string is none; one that is not ASCII is no id either.
        checked.stream = utf8Text(line.object, "stream");
        checked.prev = utf8Text(line.object, "prev");
        checked.digest = lineDigest(line.bytes);
        lines.push_back(std::move(checked));
    }
    return lines;
}

std::vector<LineKey> keysToLookUp(const std::vector<CheckedLine>& lines) {
    std::vector<LineKey> keys;
    for (const CheckedLine& line : lines) {
        keys.push_back(keyOf(line, line.line->seq));
        if (!line.stream.empty() && line.line->seq > INT64_MIN) {
            keys.push_back(keyOf(line, line.line->seq - 1));
        }
    }
    return keys;
}

void checkLines(std::vector<CheckedLine>& lines, const std::map<LineKey, std::string>& stored) {
    std::map<LineKey, std::string> added; // the page's lines stored so far
    for (CheckedLine& line : lines) {
        line.reason = limitBroken(line);
        const std::int64_t seq = line.line->seq;
        const std::string* same = line.reason.empty() ? found(stored, keyOf(line, seq)) : nullptr;
        const bool chained = !line.stream.empty() && seq > INT64_MIN;
        const std::string* before = nullptr;
        if (line.reason.empty() && same == nullptr && chained) {
            before = found(stored, keyOf(line, seq - 1));
            before = before != nullptr ? before : found(added, keyOf(line, seq - 1));
        }
        if (same != nullptr && *same == line.digest) {
            line.fate = CheckedLine::Fate::Repeat;
            continue;
        }
        if (same != nullptr) {
            line.reason = kSeqRepeats;
        } else if (before != nullptr && *before != line.prev) {
            line.reason = line.prev.empty()
                              ? "it starts its stream again after seq " + std::to_string(seq - 1)
                              : "its prev is not the line of seq " + std::to_string(seq - 1);
        }
        line.fate = line.reason.empty() ? CheckedLine::Fate::Store : CheckedLine::Fate::Quarantine;
        if (line.fate == CheckedLine::Fate::Store) {
            added[keyOf(line, seq)] = line.digest;
        }
    }
}

} // namespace pxr7
