#include "record_json.h"

#include "backend.h"
#include "firmware_image.h"
#include "firmware_image_check.h"
#include "host_name.h"
#include "json_text.h"
#include "program_version.h"

#include <algorithm>
#include <cstdint>

namespace pxr7 {

namespace {

enum class Kind {
    Text,       // the entry's text, "" kept as ""
    TextOrNull, // the entry's text, null when unknown
    Name,       // a name people type (UTF-8), "" kept as ""
    NameOrNull, // the same, null when none
    Count,      // the entry's int
    Seconds,    // the entry's duration
    Seq,        // the entry's seq, null when none
    Attempts,   // each attempt's result and records sent, in order
    Chain,      // the entry's text, left out when "", and out of the export's columns
    Fact,       // the program's own, filled in when written and not read back
};

struct RecordKey {
    const char* key;
    Kind kind;
    std::string RecordEntry::*text;
    int RecordEntry::*count;
    std::string (*fact)();
};

constexpr RecordKey text(const char* key, std::string RecordEntry::*member) {
    return {key, Kind::Text, member, nullptr, nullptr};
}
constexpr RecordKey textOrNull(const char* key, std::string RecordEntry::*member) {
    return {key, Kind::TextOrNull, member, nullptr, nullptr};
}
constexpr RecordKey name(const char* key, std::string RecordEntry::*member) {
    return {key, Kind::Name, member, nullptr, nullptr};
}
constexpr RecordKey nameOrNull(const char* key, std::string RecordEntry::*member) {
    return {key, Kind::NameOrNull, member, nullptr, nullptr};
}
constexpr RecordKey count(const char* key, int RecordEntry::*member) {
    return {key, Kind::Count, nullptr, member, nullptr};
}
constexpr RecordKey fact(const char* key, std::string (*what)()) {
    return {key, Kind::Fact, nullptr, nullptr, what};
}

// The line's keys after "schema", in the order they are written.
const RecordKey kRecordKeys[] = {
    name("bench", &RecordEntry::bench),
    {"seq", Kind::Seq, nullptr, nullptr, nullptr},
    {"stream", Kind::Chain, &RecordEntry::stream, nullptr, nullptr},
    {"prev", Kind::Chain, &RecordEntry::prev, nullptr, nullptr},
    text("command", &RecordEntry::command),
    text("started", &RecordEntry::started),
    text("finished", &RecordEntry::finished),
    fact("host", hostName),
    text("lead_serial", &RecordEntry::leadSerial),
    count("lead_index", &RecordEntry::leadIndex),
    textOrNull("lead_location", &RecordEntry::leadLocation),
    nameOrNull("lane_name", &RecordEntry::laneName),
    nameOrNull("unit_id", &RecordEntry::unitId),
    text("result", &RecordEntry::result),
    textOrNull("version_before", &RecordEntry::versionBefore),
    textOrNull("version_after", &RecordEntry::versionAfter),
    count("attempts", &RecordEntry::attempts),
    count("records_sent", &RecordEntry::recordsSent),
    count("records_total", &RecordEntry::recordsTotal),
    {"attempt_results", Kind::Attempts, nullptr, nullptr, nullptr},
    count("furthest_attempt", &RecordEntry::furthestAttempt),
    count("furthest_records_sent", &RecordEntry::furthestRecords),
    {"duration_s", Kind::Seconds, nullptr, nullptr, nullptr},
    nameOrNull("operator", &RecordEntry::operatorName),
    fact("image_sha256", [] { return std::string(builtImageDigest()); }),
    fact("image_version", [] { return std::string(embeddedImageVersion()); }),
    fact("program_version", [] { return std::string(kProgramVersion); }),
    fact("backend", [] { return std::string(backendInUse()); }),
};

JsonValue attemptsValue(const RecordEntry& entry) {
    JsonValue attempts = JsonValue::array();
    for (const RecordEntry::Attempt& attempt : entry.attemptResults) {
        JsonValue one = JsonValue::object();
        one["result"] = jsonText(attempt.result);
        one["records_sent"] = attempt.recordsSent;
        attempts.push_back(std::move(one));
    }
    return attempts;
}

// At most as many as a unit can have; a hostile line's thousands are cut.
constexpr std::size_t kMostAttemptsRead = 64;

void readAttempts(const JsonValue& value, RecordEntry& entry) {
    entry.attemptResults.clear();
    if (!value.is_array()) {
        return;
    }
    for (const JsonValue& one : value) {
        if (entry.attemptResults.size() == kMostAttemptsRead || !one.is_object()) {
            break;
        }
        RecordEntry::Attempt attempt;
        const auto result = one.find("result");
        const auto sent = one.find("records_sent");
        attempt.result = result != one.end() ? textOf(*result) : "";
        if (sent != one.end() && sent->is_number_integer()) {
            attempt.recordsSent = static_cast<std::int32_t>(std::max<std::int64_t>(
                0, std::min<std::int64_t>(sent->get<std::int64_t>(), 1 << 30)));
        }
        entry.attemptResults.push_back(attempt);
    }
}

JsonValue valueOf(const RecordKey& key, const RecordEntry& entry) {
    switch (key.kind) {
    case Kind::Text:
    case Kind::Chain:
        return jsonText(entry.*key.text);
    case Kind::TextOrNull:
        return jsonTextOrNull(entry.*key.text);
    case Kind::Name:
        return jsonName(entry.*key.text);
    case Kind::NameOrNull:
        return jsonNameOrNull(entry.*key.text);
    case Kind::Count:
        return entry.*key.count;
    case Kind::Seconds:
        return jsonDecimal3(entry.seconds);
    case Kind::Seq:
        return entry.seq ? JsonValue(*entry.seq) : JsonValue(nullptr);
    case Kind::Attempts:
        return attemptsValue(entry);
    case Kind::Fact:
        return jsonTextOrNull(key.fact());
    }
    return nullptr;
}

// A number within what counts and durations can be; anything wilder is not one.
bool sensibleNumber(const JsonValue& value, double& number) {
    if (!value.is_number()) {
        return false;
    }
    number = value.get<double>();
    return number > -1e9 && number < 1e9;
}

// A seq is a whole number from 1: anything else is no seq (the reader derives one).
std::optional<std::int64_t> seqOf(const JsonValue& value) {
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number >= 1 && number <= static_cast<std::uint64_t>(INT64_MAX)) {
            return static_cast<std::int64_t>(number);
        }
    } else if (value.is_number_integer() && value.get<std::int64_t>() >= 1) {
        return value.get<std::int64_t>();
    }
    return std::nullopt;
}

void readInto(const RecordKey& key, const JsonValue& value, RecordEntry& entry) {
    double number = 0;
    switch (key.kind) {
    case Kind::Text:
    case Kind::TextOrNull:
    case Kind::Chain:
        entry.*key.text = textOf(value);
        break;
    case Kind::Name:
    case Kind::NameOrNull:
        entry.*key.text = nameOf(value);
        break;
    case Kind::Count:
        if (sensibleNumber(value, number)) {
            entry.*key.count = static_cast<int>(number);
        }
        break;
    case Kind::Seconds:
        if (sensibleNumber(value, number)) {
            entry.seconds = number;
        }
        break;
    case Kind::Seq:
        entry.seq = seqOf(value);
        break;
    case Kind::Attempts:
        readAttempts(value, entry);
        break;
    case Kind::Fact:
        break;
    }
}

// The table's row for a key; nullptr for a key it does not list.
const RecordKey* keyNamed(const std::string& name, std::size_t expected) {
    constexpr std::size_t keyCount = sizeof kRecordKeys / sizeof kRecordKeys[0];
    for (std::size_t k = 0; k < keyCount; ++k) {
        const RecordKey& key = kRecordKeys[(expected + k) % keyCount];
        if (name == key.key) {
            return &key;
        }
    }
    return nullptr;
}

const JsonValue* member(const JsonValue& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() ? &*found : nullptr;
}

} // namespace

std::string recordLine(const RecordEntry& entry) {
    JsonValue line = JsonValue::object();
    line["schema"] = 1;
    for (const RecordKey& key : kRecordKeys) {
        if (key.kind != Kind::Chain || !(entry.*key.text).empty()) {
            line[key.key] = valueOf(key, entry);
        }
    }
    return jsonLine(line);
}

std::vector<const char*> recordKeyNames() {
    std::vector<const char*> names;
    for (const RecordKey& key : kRecordKeys) {
        if (key.kind != Kind::Chain) {
            names.push_back(key.key);
        }
    }
    return names;
}

bool parseRecordLine(const std::string& line, RecordEntry& entry, std::string& host) {
    return recordEntryOf(parseJsonLine(line), entry, host);
}

bool recordEntryOf(const JsonValue& object, RecordEntry& entry, std::string& host) {
    if (!object.is_object()) {
        return false;
    }
    const JsonValue* schema = member(object, "schema");
    const JsonValue* result = member(object, "result");
    if (schema == nullptr || !schema->is_number() || schema->get<double>() != 1 ||
        result == nullptr || textOf(*result).empty()) {
        return false;
    }
    entry = RecordEntry();
    // One pass over the line's keys, each looked for first where the writer puts it.
    constexpr std::size_t keyCount = sizeof kRecordKeys / sizeof kRecordKeys[0];
    std::size_t expected = 0;
    for (auto item = object.begin(); item != object.end(); ++item) {
        const RecordKey* key = keyNamed(item.key(), expected);
        if (key != nullptr) {
            readInto(*key, item.value(), entry);
            expected = static_cast<std::size_t>(key - kRecordKeys + 1) % keyCount;
        }
    }
    const JsonValue* hostValue = member(object, "host");
    host = hostValue != nullptr ? textOf(*hostValue) : "";
    return true;
}

} // namespace pxr7
