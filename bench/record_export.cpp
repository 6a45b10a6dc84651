#include "record_export.h"

#include "json_text.h"
#include "record_json.h"

namespace pxr7 {

namespace {

// Where a spreadsheet starts a formula (OWASP's list for CSV injection).
bool readsAsFormula(const std::string& text) {
    return !text.empty() && std::string("=+-@\t\r").find(text[0]) != std::string::npos;
}

void appendRow(const std::vector<const char*>& keys, const JsonValue& object, CsvCells cells,
               std::string& out) {
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        const auto found = object.find(keys[i]);
        if (found != object.end()) {
            out += csvField(csvCell(*found, cells));
        }
    }
    out += "\r\n";
}

} // namespace

std::string csvCell(const JsonValue& value, CsvCells cells) {
    if (value.is_null()) {
        return "";
    }
    if (!value.is_string()) {
        return jsonLine(value);
    }
    // A meter's bytes that make UTF-8, and a name written before names were UTF-8, read as
    // the text they spell; other bytes as the characters the record gives them.
    std::string text = nameOf(value);
    if (cells == CsvCells::Safe && readsAsFormula(text)) {
        text.insert(0, 1, '\'');
    }
    return text;
}

std::string csvField(const std::string& text) {
    if (text.find_first_of("\",\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + '"';
}

std::string recordCsvHeader() {
    const std::vector<const char*> keys = recordKeyNames();
    std::string out;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        out += i > 0 ? "," : "";
        out += keys[i];
    }
    return out + "\r\n";
}

void appendRecordCsvRow(const std::string& line, std::string& out, CsvCells cells) {
    static const std::vector<const char*> keys = recordKeyNames();
    appendRow(keys, parseJsonLine(line), cells, out);
}

bool recordCsv(RecordIndex& index, const std::vector<const IndexedLine*>& lines, std::string& out,
               std::string& problem, CsvCells cells) {
    const std::vector<const char*> keys = recordKeyNames();
    out = recordCsvHeader();
    return index.readBack(
        lines,
        [&](const IndexedLine&, const std::string& line) {
            appendRow(keys, parseJsonLine(line), cells, out);
        },
        problem);
}

bool recordJsonLines(RecordIndex& index, const std::vector<const IndexedLine*>& lines,
                     std::string& out, std::string& problem) {
    out.clear();
    return index.readBack(
        lines,
        [&](const IndexedLine&, const std::string& line) {
            out += line;
            out += '\n';
        },
        problem);
}

} // namespace pxr7
