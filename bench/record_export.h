// The record's lines as files to take away: CSV for a spreadsheet (RFC 4180, UTF-8, a column
// per record key) and JSON Lines (the lines exactly as they stand in the record).
#pragma once

#include "record_index.h"

#include <string>
#include <vector>

namespace pxr7 {

// One CSV field: quoted, with '"' doubled, when it holds '"', ',', CR or LF.
std::string csvField(const std::string& text);

// The header row (the record's keys in their order, schema left out) and a row per line, in
// the order given, each ending CRLF. A null or missing key is an empty field, a number is
// written as in the line, a text as its bytes when they are UTF-8 and otherwise as the
// characters the record's JSON gives them. False, with the reason, when the file no longer
// holds the lines (RecordIndex::readBack).
bool recordCsv(RecordIndex& index, const std::vector<const IndexedLine*>& lines, std::string& out,
               std::string& problem);

// The header row alone, and one line's row after it: for lines that come from elsewhere.
std::string recordCsvHeader();
void appendRecordCsvRow(const std::string& line, std::string& out);

// The lines' bytes, each followed by "\n", in the order given.
bool recordJsonLines(RecordIndex& index, const std::vector<const IndexedLine*>& lines,
                     std::string& out, std::string& problem);

} // namespace pxr7
