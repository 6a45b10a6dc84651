// The history's requests as the server hands them over: parameters refused with 400, the page
// of lines as they stand in the record with their numbers, entries and 404s, the downloads'
// types and names, and a record that grows between requests.
#include "history_api.h"
#include "json_text.h"
#include "record.h"
#include "record_index.h"
#include "record_json.h"
#include "rig_files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace pxr7 {
namespace {

std::string lineOf(const std::string& result, const std::string& serial,
                   const std::string& unit = "") {
    RecordEntry entry;
    entry.command = "station";
    entry.finished = "2026-12-08T09:30:05Z";
    entry.leadSerial = serial;
    entry.result = result;
    entry.unitId = unit;
    return recordLine(entry) + "\n";
}

class HistoryApiTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = scratch.path("record.jsonl");
        simrig::writeFile(path, lineOf("ok", "PXA", "U-1") + "\n" + "torn{\n" +
                                    lineOf("busy", std::string("P\xb5X", 3)) +
                                    lineOf("current", "PXA"));
    }
    simrig::ScratchFolder scratch;
    std::string path;
};

TEST_F(HistoryApiTest, BadParametersAreRefusedAndUnknownOnesIgnored) {
    const struct {
        QueryParams params;
        int status;
    } cases[] = {
        {{}, 200},
        {{{"result", ""}, {"lane", ""}, {"unit", ""}, {"from", ""}, {"to", ""}, {"page", ""}}, 200},
        {{{"colour", "red"}, {"page", "9"}}, 200},
        {{{"page", "0"}}, 400},
        {{{"page", "-1"}}, 400},
        {{{"page", "1x"}}, 400},
        {{{"page", "99999999999"}}, 400},
        {{{"per_page", "500"}}, 200},
        {{{"per_page", "501"}}, 400},
        {{{"per_page", "0"}}, 400},
        {{{"from", "2026-02-29"}}, 400},
        {{{"to", "2028-02-29"}}, 200},
        {{{"to", "08.12.2026"}}, 400},
        {{{"result", "failed"}}, 200},
        {{{"result", "transfer_stopped"}}, 200},
        {{{"result", "nonsense"}}, 400},
        {{{"since", "0"}}, 200},
        {{{"since", "-9223372036854775808"}, {"per_page", "500"}}, 200},
        {{{"since", "-9223372036854775809"}}, 400},
        {{{"since", ""}}, 400},
        {{{"since", "-"}}, 400},
        {{{"since", "1.5"}}, 400},
        {{{"since", "3"}, {"per_page", "501"}}, 400},
        {{{"since", "3"}, {"result", "ok"}}, 400},
        {{{"since", "3"}, {"page", "1"}}, 400},
        {{{"since", "3"}, {"lane", "PXA"}}, 400},
    };
    HistoryApi api(path);
    for (const auto& c : cases) {
        const HttpReply reply = api.history(c.params);
        EXPECT_EQ(reply.status, c.status) << reply.body;
        EXPECT_EQ(reply.contentType, "application/json");
        const JsonValue body = parseJsonLine(reply.body);
        EXPECT_TRUE(c.status == 200 ? body.contains("lines") : body["error"].is_string())
            << reply.body;
    }
    EXPECT_EQ(api.csv({{"from", "bad"}}).status, 400);
    EXPECT_EQ(api.jsonl({{"result", "nonsense"}}).status, 400);
}

TEST_F(HistoryApiTest, HistoryGivesTheLinesAsInTheFileNewestFirst) {
    HistoryApi api(path);
    const HttpReply reply = api.history({{"per_page", "2"}});
    ASSERT_EQ(reply.status, 200) << reply.body;
    const JsonValue body = parseJsonLine(reply.body);
    EXPECT_EQ(body["total"], 3);
    EXPECT_EQ(body["pages"], 2);
    EXPECT_EQ(body["unreadable"], 1);
    ASSERT_EQ(body["lines"].size(), 2u);
    EXPECT_EQ(body["lines"][0]["line"], 5);
    EXPECT_EQ(body["lines"][1]["line"], 4);
    JsonValue expected = parseJsonLine(lineOf("busy", std::string("P\xb5X", 3)));
    expected["bench"] = expected["host"]; // an old line's, derived
    expected["seq"] = kDerivedSeqBase + 4;
    JsonValue got = body["lines"][1];
    got.erase("line");
    EXPECT_EQ(jsonLine(got), jsonLine(expected)) << "every key as in the file";
    EXPECT_EQ(body["totals"]["lanes"][0],
              parseJsonLine(R"({"lane":"PXA","ok":1,"current":1,"failed":0})"));
    EXPECT_EQ(jsonLine(body["choices"]["lanes"]), R"(["PXA","P\u00b5X"])");
    // The page sends the label back as UTF-8 of its characters.
    const JsonValue picked = parseJsonLine(api.history({{"lane", "P\xc2\xb5X"}}).body);
    EXPECT_EQ(picked["total"], 1);
    EXPECT_EQ(parseJsonLine(api.history({{"unit", "U-1"}}).body)["lines"][0]["line"], 1);
}

TEST_F(HistoryApiTest, EntryAnswersRecordLinesOnly) {
    const struct {
        const char* line;
        int status;
    } cases[] = {{"1", 200}, {"2", 404}, {"3", 404},
                 {"5", 200}, {"6", 404}, {"0", 404},
                 {"", 400},  {"x", 400}, {"99999999999999999999", 400}};
    HistoryApi api(path);
    for (const auto& c : cases) {
        const HttpReply reply = api.entry({{"line", c.line}});
        EXPECT_EQ(reply.status, c.status) << c.line << ": " << reply.body;
    }
    const JsonValue body = parseJsonLine(api.entry({{"line", "4"}}).body);
    EXPECT_EQ(body["line"], 4);
    EXPECT_EQ(jsonLine(body["entry"]) + "\n", lineOf("busy", std::string("P\xb5X", 3)));
}

TEST_F(HistoryApiTest, DownloadsCarryTheirTypeNameAndTheMatchingLines) {
    HistoryApi api(path);
    const HttpReply jsonl = api.jsonl({{"lane", "PXA"}});
    EXPECT_EQ(jsonl.status, 200);
    EXPECT_EQ(jsonl.contentType, "application/jsonl");
    EXPECT_EQ(jsonl.body, lineOf("ok", "PXA", "U-1") + lineOf("current", "PXA"));
    ASSERT_EQ(jsonl.headers.size(), 1u);
    EXPECT_EQ(jsonl.headers[0].second, "attachment; filename=\"pxr7-record.jsonl\"");
    const HttpReply csv = api.csv({{"result", "failed"}});
    EXPECT_EQ(csv.contentType, "text/csv; charset=utf-8");
    EXPECT_EQ(csv.headers[0].second, "attachment; filename=\"pxr7-record.csv\"");
    EXPECT_EQ(csv.body.rfind("bench,seq,command,started,finished,host,", 0), 0u);
    EXPECT_NE(csv.body.find("\r\n,,station,,2026-12-08T09:30:05Z,"), std::string::npos) << csv.body;
    EXPECT_EQ(std::count(csv.body.begin(), csv.body.end(), '\n'), 2);
    // A unit id a spreadsheet would run: quoted, unless the values are asked for as they are.
    std::ofstream(path, std::ios::app) << lineOf("ok", "PXF", "=1+1");
    EXPECT_NE(api.csv({{"lane", "PXF"}}).body.find(",'=1+1,"), std::string::npos);
    EXPECT_NE(api.csv({{"lane", "PXF"}, {"exact", "1"}}).body.find(",=1+1,"), std::string::npos);
    EXPECT_EQ(api.jsonl({{"lane", "PXF"}}).body, lineOf("ok", "PXF", "=1+1"));
}

TEST_F(HistoryApiTest, EachRequestSeesWhatWasAppendedAndAMissingRecordIsEmpty) {
    HistoryApi api(path);
    EXPECT_EQ(parseJsonLine(api.history({}).body)["total"], 3);
    std::ofstream(path, std::ios::app) << lineOf("ok", "PXC") << "{\"schema\":1,";
    JsonValue body = parseJsonLine(api.history({}).body);
    EXPECT_EQ(body["total"], 4);
    EXPECT_EQ(body["lines"][0]["lead_serial"], "PXC");
    std::remove(path.c_str());
    body = parseJsonLine(api.history({}).body);
    EXPECT_EQ(body["total"], 0);
    EXPECT_EQ(body["pages"], 0);
    EXPECT_EQ(api.entry({{"line", "1"}}).status, 404);
    EXPECT_EQ(HistoryApi(scratch.folder()).history({}).status, 500);
}

TEST_F(HistoryApiTest, SincePagesThroughOldAndNewLinesOnceEachInOrderAsTheRecordGrows) {
    HistoryApi api(path);
    auto append = [&](const std::string& serial) {
        RecordEntry entry;
        entry.result = "ok";
        entry.leadSerial = serial;
        entry.bench = "Line 3";
        std::string problem;
        EXPECT_TRUE(appendNumberedRecord(path, scratch.path("record.seq"), entry, problem));
    };
    append("N1");
    append("N2");
    std::vector<std::string> got;
    std::string since = "-9223372036854775808";
    for (int page = 1; page < 10; ++page) {
        const JsonValue body =
            parseJsonLine(api.history({{"since", since}, {"per_page", "2"}}).body);
        for (const JsonValue& line : body["lines"]) {
            got.push_back(textOf(line["lead_serial"]) + "@" + textOf(line["bench"]) + "#" +
                          std::to_string(line["seq"].get<std::int64_t>()));
        }
        const std::int64_t next = body["next_since"].get<std::int64_t>();
        EXPECT_EQ(next, body["lines"].empty() ? std::stoll(since)
                                              : body["lines"].back()["seq"].get<std::int64_t>());
        since = std::to_string(next);
        if (page <= 2) {
            append(page == 1 ? "N3" : "N4"); // between pages
        }
        if (!body["more"].get<bool>()) {
            break;
        }
    }
    const std::string host = "@" + parseJsonLine(lineOf("ok", "x"))["host"].get<std::string>();
    auto old = [&](int line) { return "#" + std::to_string(kDerivedSeqBase + line); };
    const std::vector<std::string> expected = {"PXA" + host + old(1), "P\xb5X" + host + old(4),
                                               "PXA" + host + old(5), "N1@Line 3#1",
                                               "N2@Line 3#2",         "N3@Line 3#3",
                                               "N4@Line 3#4"};
    EXPECT_EQ(got, expected);
    const JsonValue after = parseJsonLine(api.history({{"since", since}}).body);
    EXPECT_EQ(after["lines"].size(), 0u);
    EXPECT_EQ(after["next_since"], 4);
    // The page names the stream the record is in now, so a copier sees a record start again.
    RecordEntry last;
    std::string lastHost;
    std::string text = simrig::fileText(path);
    text.pop_back();
    ASSERT_TRUE(parseRecordLine(text.substr(text.rfind('\n') + 1), last, lastHost));
    EXPECT_EQ(after["stream"], last.stream);
    simrig::writeFile(scratch.path("record.seq"), ""); // a counter lost: the next line starts one
    append("N5");
    const JsonValue restarted = parseJsonLine(api.history({{"since", since}}).body);
    EXPECT_NE(restarted["stream"], last.stream);
    EXPECT_EQ(restarted["stream"], restarted["lines"].back()["stream"]);
    const HttpReply jsonl = api.jsonl({{"since", old(4).substr(1)}, {"per_page", "2"}});
    std::istringstream file(simrig::fileText(path));
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line + "\n");
    }
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(jsonl.body, lines[4] + lines[5]) << "the bytes of lines 5 and 6";
    ASSERT_EQ(jsonl.headers.size(), 4u);
    EXPECT_EQ(jsonl.headers[1].second, "1");
    EXPECT_EQ(jsonl.headers[2].second, "true");
    EXPECT_EQ(jsonl.headers[3],
              std::make_pair(std::string("X-Pxr7-Stream"), restarted["stream"].get<std::string>()));
    // A stream that is no stream id is not put in a header: only the page of JSON says it.
    std::ofstream(path, std::ios::app)
        << R"({"schema":1,"bench":"B","seq":99,"stream":"a\r\nSet-Cookie: x","result":"ok"})"
        << "\n";
    const HttpReply odd = api.jsonl({{"since", "98"}});
    EXPECT_EQ(odd.headers.size(), 3u);
    EXPECT_EQ(parseJsonLine(api.history({{"since", "98"}}).body)["stream"], "a\r\nSet-Cookie: x");
}

TEST_F(HistoryApiTest, ARecordOfThousandsOfLeadsListsTheFirstOnesAndCountsTheRest) {
    std::ofstream record(path);
    for (int i = 0; i < 250; ++i) {
        record << lineOf("ok", "PX" + std::to_string(i));
    }
    record.close();
    const JsonValue body = parseJsonLine(HistoryApi(path).history({}).body);
    EXPECT_EQ(body["totals"]["lanes"].size(), 200u);
    EXPECT_EQ(body["totals"]["lanes_more"], 50);
    EXPECT_EQ(body["choices"]["lanes"].size(), 200u);
    EXPECT_EQ(body["choices"]["lanes_more"], 50);
    EXPECT_EQ(body["totals"]["days_more"], 0);
    EXPECT_EQ(body["total"], 250);
}

} // namespace
} // namespace pxr7
