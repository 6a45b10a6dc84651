// The record's line as JSON, both ways: recordLine (record.h) writes it, parseRecordLine reads
// it back. The keys are listed once, in record_json.cpp. The record is a text file anyone can
// edit: a line is read when it is a schema 1 object with a result, whatever else it holds
// (new keys may be added to schema 1 at any time), and refused otherwise, never trusted.
#pragma once

#include "json_text.h"
#include "record.h"

#include <string>
#include <vector>

namespace pxr7 {

// A record line back as the entry it was written from, plus its host; false unless it is a
// JSON object with "schema": 1 and a result.
bool parseRecordLine(const std::string& line, RecordEntry& entry, std::string& host);
// The same from a line already parsed, for readers that need the object as well.
bool recordEntryOf(const JsonValue& object, RecordEntry& entry, std::string& host);

// The line's keys after "schema", in the order recordLine writes them, but for the chain's
// (stream, prev): the columns of an export.
std::vector<const char*> recordKeyNames();

} // namespace pxr7
