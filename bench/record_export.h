// The record's lines as files to take away: CSV for a spreadsheet (RFC 4180, UTF-8, a column
// per record key) and JSON Lines (the lines exactly as they stand in the record).
#pragma once

#include "json_text.h"
#include "record_index.h"

#include <string>
#include <vector>

namespace pxr7 {

// One CSV field: quoted, with '"' doubled, when it holds '"', ',', CR or LF.
std::string csvField(const std::string& text);

// How a text cell is written. Safe: a text a spreadsheet would take for a formula (one that
// begins with '=', '+', '-', '@', TAB or CR) gets a "'" in front, so that it is shown, never
// run. Exact: every text as it is. A number of the line is written as it is either way: it is
// a JSON number, never a formula, and "-1" stays a number a spreadsheet can add up.
enum class CsvCells { Safe, Exact };

// One value of a line as its CSV field: null empty, a number as in the line, a text as
// nameOf reads it (json_text.h).
std::string csvCell(const JsonValue& value, CsvCells cells);

// The header row (the record's keys in their order, schema left out) and a row per line, in
// the order given, each ending CRLF, each value as csvCell writes it (a missing key is an
// empty field). False, with the reason, when the file no longer
// holds the lines (RecordIndex::readBack).
bool recordCsv(RecordIndex& index, const std::vector<const IndexedLine*>& lines, std::string& out,
               std::string& problem, CsvCells cells = CsvCells::Safe);

// The header row alone, and one line's row after it: for lines that come from elsewhere.
std::string recordCsvHeader();
void appendRecordCsvRow(const std::string& line, std::string& out, CsvCells cells = CsvCells::Safe);

// The lines' bytes, each followed by "\n", in the order given.
bool recordJsonLines(RecordIndex& index, const std::vector<const IndexedLine*>& lines,
                     std::string& out, std::string& problem);

} // namespace pxr7
