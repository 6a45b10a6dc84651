// Reading the record back: a small reader for the flat JSON objects the record holds (string,
// number, true, false and null values; no nesting). The record is a text file anyone can edit,
// so whatever is not such an object is refused, never trusted.
#pragma once

#include "record.h"

#include <map>
#include <string>

namespace pxr7 {

struct FlatValue {
    enum class Kind { String, Number, Literal } kind = Kind::Literal;
    std::string text; // the string's characters, the number as written, or the literal's word
};

using FlatObject = std::map<std::string, FlatValue>;

// Parses one line holding one flat JSON object; false for anything else.
bool parseFlatObject(const std::string& line, FlatObject& object);

// A record line back as the entry it was written from, plus its host; false unless it is a
// schema 1 object with a result.
bool parseRecordLine(const std::string& line, RecordEntry& entry, std::string& host);

} // namespace pxr7
