// The history's requests as the server hands them over: parameters refused with 400, the page
// of lines as they stand in the record with their numbers, entries and 404s, the downloads'
// types and names, and a record that grows between requests.
#include "drained_reply.h"
#include "history_api.h"
#include "json_text.h"
#include "record.h"
#include "record_index.h"
#include "record_json.h"
#include "rig_files.h"
#include "summary_cases.h"

#include <gtest/gtest.h>

#include "record_export.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>
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

// The answer around its lines, to the byte: the figures first, then totals and choices in the
// order the pages and the collector have always read them.
TEST_F(HistoryApiTest, HistoryAnswersInItsOneShapeToTheByte) {
    const std::string body = HistoryApi(path).history({{"per_page", "2"}}).body;
    const std::size_t lines = body.find(",\"lines\":["), totals = body.rfind("],\"totals\":");
    ASSERT_NE(lines, std::string::npos) << body;
    ASSERT_NE(totals, std::string::npos) << body;
    EXPECT_EQ(body.substr(0, lines),
              R"({"schema":1,"total":3,"page":1,"per_page":2,"pages":2,"unreadable":1)");
    EXPECT_EQ(body.substr(totals + 1),
              R"(,"totals":{"lanes":[{"lane":"PXA","ok":1,"current":1,"failed":0},)"
              R"({"lane":"P\u00b5X","ok":0,"current":0,"failed":1}],"lanes_more":0,)"
              R"("days":[{"day":"2026-12-08","ok":1,"current":1,"failed":1}],"days_more":0},)"
              R"("choices":{"results":["busy","current","ok"],"lanes":["PXA","P\u00b5X"],)"
              R"("lanes_more":0}})");
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
    EXPECT_EQ(drained(jsonl), lineOf("ok", "PXA", "U-1") + lineOf("current", "PXA"));
    ASSERT_EQ(jsonl.headers.size(), 1u);
    EXPECT_EQ(jsonl.headers[0].second, "attachment; filename=\"pxr7-record.jsonl\"");
    const HttpReply csv = api.csv({{"result", "failed"}});
    EXPECT_EQ(csv.contentType, "text/csv; charset=utf-8");
    EXPECT_EQ(csv.headers[0].second, "attachment; filename=\"pxr7-record.csv\"");
    const std::string rows = drained(csv);
    EXPECT_EQ(rows.rfind("bench,seq,command,started,finished,host,", 0), 0u);
    EXPECT_NE(rows.find("\r\n,,station,,2026-12-08T09:30:05Z,"), std::string::npos) << rows;
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 2);
    // A unit id a spreadsheet would run: quoted, unless the values are asked for as they are.
    std::ofstream(path, std::ios::app) << lineOf("ok", "PXF", "=1+1");
    EXPECT_NE(drained(api.csv({{"lane", "PXF"}})).find(",'=1+1,"), std::string::npos);
    EXPECT_NE(drained(api.csv({{"lane", "PXF"}, {"exact", "1"}})).find(",=1+1,"),
              std::string::npos);
    EXPECT_EQ(drained(api.jsonl({{"lane", "PXF"}})), lineOf("ok", "PXF", "=1+1"));
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
    const HttpReply unreadable = HistoryApi(scratch.folder()).history({});
    EXPECT_EQ(unreadable.status, 500);
    EXPECT_EQ(unreadable.body, R"({"error":"the record cannot be read now"})") << "no path";
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
    EXPECT_EQ(drained(jsonl), lines[4] + lines[5]) << "the bytes of lines 5 and 6";
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

// The page of a poller gives each line as the JSON Lines hold it: hostile benches, escapes and
// numbers as they stand, "line" spliced in, and bench and seq only where a reader takes other
// ones than the line holds (the collector compares them: tests/db/station_lines_test.cpp).
TEST_F(HistoryApiTest, SinceGivesEachLineAsItStandsWithWhatThePageAdds) {
    const struct {
        const char* line;
        const char* paged;
    } cases[] = {
        {R"( {"schema":1,"host":"h\u202e","result":"ok"})",
         R"( {"line":1,"schema":1,"host":"h\u202e","result":"ok","bench":"h\u202e","seq":-1099511627775})"},
        {R"({"schema":1,"bench":"\u00e2\u0080\u00ae","seq":1,"result":"ok"})",
         R"({"line":2,"schema":1,"bench":"\u202e","seq":1,"result":"ok"})"},
        {R"({"schema":1,"bench":"\u202Eevil","seq":2,"result":"ok","n":1.50})",
         R"({"line":3,"schema":1,"bench":"\u202Eevil","seq":2,"result":"ok","n":1.50})"},
        {"{\"schema\":1,\"bench\":\"\xe2\x80\xae raw\",\"seq\":3,\"result\":\"ok\"}",
         "{\"line\":4,\"schema\":1,\"bench\":\"\xe2\x80\xae raw\",\"seq\":3,\"result\":\"ok\"}"},
        {R"({"schema":1,"bench":"a\u0000b","seq":4,"result":"ok"})",
         R"({"line":5,"schema":1,"bench":"a\u0000b","seq":4,"result":"ok"})"},
        {R"({"schema":1,"bench":"","host":"H","seq":5,"result":"ok"})",
         R"({"line":6,"schema":1,"bench":"H","host":"H","seq":5,"result":"ok"})"},
        {R"({ "schema" : 1 , "\u0062ench" : "B" , "seq" : 6 , "result" : "ok" })",
         R"({"line":7, "schema" : 1 , "\u0062ench" : "B" , "seq" : 6 , "result" : "ok" })"},
        {R"({"schema":1,"bench":"X","bench":"\u00e2\u0080\u00ae","seq":7,"result":"ok"})",
         R"({"line":8,"schema":1,"bench":"X","bench":"\u202e","seq":7,"result":"ok"})"},
        {R"({"schema":1,"line":99,"bench":"B","seq":8,"result":"ok","x":{"seq":[1,"]"]}})",
         R"({"schema":1,"line":9,"bench":"B","seq":8,"result":"ok","x":{"seq":[1,"]"]}})"},
    };
    std::string file, expected = "[";
    for (const auto& c : cases) {
        file += std::string(c.line) + "\n";
        expected += std::string(expected.size() > 1 ? "," : "") + c.paged;
    }
    simrig::writeFile(path, file);
    HistoryApi api(path);
    const HttpReply page = api.history({{"since", "-9223372036854775808"}});
    ASSERT_EQ(page.status, 200);
    const std::size_t lines = page.body.find(",\"lines\":");
    ASSERT_NE(lines, std::string::npos) << page.body;
    EXPECT_EQ(page.body.substr(lines + 9), expected + "]}");
    EXPECT_TRUE(parseJsonLine(page.body, kMaxJsonDepth + 2).is_object());
    EXPECT_EQ(drained(api.jsonl({{"since", "-9223372036854775808"}})), file);
    // The page of the history gives them so too, and an entry its line as it stands.
    EXPECT_NE(api.history({}).body.find(cases[2].paged), std::string::npos);
    const std::string entry = api.entry({{"line", "3"}}).body;
    const std::string tail = std::string(R"(,"entry":)") + cases[2].line + "}";
    EXPECT_EQ(entry.rfind(R"({"schema":1,"line":3,)", 0), 0u) << entry;
    ASSERT_GE(entry.size(), tail.size());
    EXPECT_EQ(entry.substr(entry.size() - tail.size()), tail);
}

class HistoryExportTest : public HistoryApiTest {
protected:
    void SetUp() override {
        path = scratch.path("record.jsonl");
        std::ofstream record(path);
        for (int i = 0; i < kLines; ++i) {
            record << lineOf(i % 3 ? "ok" : "no_handshake", "PX" + std::to_string(i % 8),
                             "U-" + std::to_string(i));
        }
    }
    // Everything recordCsv and recordJsonLines make of the whole record in one piece.
    std::string whole(bool csv) {
        RecordIndex index(path);
        HistoryQuery query(index);
        std::string out, problem;
        EXPECT_TRUE(index.refresh(problem));
        EXPECT_TRUE(csv ? recordCsv(index, query.matching({}), out, problem)
                        : recordJsonLines(index, query.matching({}), out, problem));
        return out;
    }
    static constexpr int kLines = 5000;
};

// Exports are read a part at a time, each part small, and hold nothing every other request
// needs between parts: a request made part-way answers at once, lines appended part-way are
// not in it, and its bytes are those the whole-file writers make.
TEST_F(HistoryExportTest, ExportsComeInSmallPartsAndLetOtherRequestsThrough) {
    const std::string csvWhole = whole(true), jsonlWhole = whole(false);
    HistoryApi api(path);
    for (const bool csv : {true, false}) {
        const HttpReply reply = csv ? api.csv({}) : api.jsonl({});
        ASSERT_EQ(reply.status, 200);
        ASSERT_TRUE(reply.chunks);
        std::string body = reply.body;
        std::size_t parts = 0, largest = 0;
        Chunk chunk = Chunk::More;
        while (chunk == Chunk::More) {
            std::string part;
            chunk = reply.chunks(part);
            largest = std::max(largest, part.size());
            body += part;
            if (++parts == 2) {
                // Another worker's request, while this export is part-way.
                auto other = std::async(std::launch::async, [&] {
                    return api.history({{"result", "failed"}}).status == 200 &&
                           api.entry({{"line", "7"}}).status == 200;
                });
                ASSERT_EQ(other.wait_for(std::chrono::seconds(30)), std::future_status::ready);
                EXPECT_TRUE(other.get());
                std::ofstream(path, std::ios::app) << lineOf("ok", "LATE");
            }
        }
        EXPECT_EQ(chunk, Chunk::Done);
        EXPECT_GT(parts, 10u);
        EXPECT_LT(largest, (64u << 10) + 1024) << "a part is about 64 KiB";
        EXPECT_EQ(body, csv ? csvWhole : jsonlWhole) << (csv ? "csv" : "jsonl");
        simrig::writeFile(path, jsonlWhole); // without the late line
    }
}

// A record replaced while it is exported ends the export cut short, never as if whole; one
// dropped part-way leaves the record to the next request.
TEST_F(HistoryExportTest, AnExportOfARecordReplacedPartWayEndsCutShort) {
    HistoryApi api(path);
    for (const bool shorter : {true, false}) {
        const HttpReply reply = api.jsonl({});
        std::string part;
        ASSERT_EQ(reply.chunks(part), Chunk::More);
        std::string other = lineOf("ok", "NEW");
        if (!shorter) { // the last line, not yet sent, changed in place
            other = whole(false);
            other.replace(other.rfind("U-4999"), 6, "X-4999");
        }
        simrig::writeFile(path, other);
        bool ended = true;
        drained(reply, &ended);
        EXPECT_FALSE(ended) << (shorter ? "shorter" : "changed in place");
        EXPECT_EQ(parseJsonLine(api.history({}).body)["total"], shorter ? 1 : kLines);
        SetUp();
    }
    {
        const HttpReply dropped = api.csv({});
        std::string part;
        EXPECT_EQ(dropped.chunks(part), Chunk::More);
    }
    EXPECT_EQ(parseJsonLine(api.history({}).body)["total"], kLines);
}

// Several workers at once while the record grows fast: every answer is whole and agrees with
// itself (a poller's page holds seqs 1, 2, 3, ... with none twice), and in the end every line
// is counted once.
TEST_F(HistoryApiTest, ManyThreadsAskAtOnceWhileTheRecordGrows) {
    HistoryApi api(path);
    constexpr int kAppended = 3000;
    std::atomic<bool> written{false};
    std::thread writer([&] {
        for (int seq = 1; seq <= kAppended;) {
            std::string burst;
            for (const int end = seq + 30; seq < end; ++seq) {
                burst += R"({"schema":1,"bench":"B","seq":)" + std::to_string(seq) +
                         R"(,"result":"ok","lead_serial":"W"})" + "\n";
            }
            std::ofstream(path, std::ios::app) << burst;
        }
        written = true;
    });
    std::vector<std::thread> readers;
    for (int r = 0; r < 4; ++r) {
        readers.emplace_back([&, r] {
            for (int i = 0; !written || i < 20; ++i) {
                const int kind = (r + i) % 4;
                const HttpReply reply = kind == 0 ? api.history({{"per_page", "20"}, {"lane", "W"}})
                                        : kind == 1
                                            ? api.history({{"since", "0"}, {"per_page", "500"}})
                                        : kind == 2 ? api.entry({{"line", "1"}})
                                                    : api.jsonl({{"lane", "PXA"}});
                ASSERT_EQ(reply.status, 200) << reply.body;
                bool whole = false;
                const std::string body = drained(reply, &whole);
                EXPECT_TRUE(whole);
                if (kind == 3) {
                    EXPECT_EQ(body, lineOf("ok", "PXA", "U-1") + lineOf("current", "PXA"));
                    continue;
                }
                const JsonValue json = parseJsonLine(body, kMaxJsonDepth + 2);
                ASSERT_TRUE(json.is_object()) << body;
                std::int64_t seq = 0;
                for (const JsonValue& line : kind == 1 ? json["lines"] : JsonValue::array()) {
                    ASSERT_EQ(line["seq"].get<std::int64_t>(), ++seq);
                }
                // Before the first of lane W's lines is written there is no lane to count.
                if (kind == 0 && json["totals"]["lanes"].empty()) {
                    EXPECT_EQ(json["total"], 0);
                } else if (kind == 0) {
                    EXPECT_EQ(json["total"], json["totals"]["lanes"][0]["ok"]);
                }
            }
        });
    }
    writer.join();
    for (std::thread& reader : readers) {
        reader.join();
    }
    const JsonValue all = parseJsonLine(api.history({}).body);
    EXPECT_EQ(all["total"], 3 + kAppended);
    EXPECT_EQ(all["totals"]["lanes"][2],
              parseJsonLine(R"({"lane":"W","ok":3000,"current":0,"failed":0})"));
}

} // namespace
} // namespace pxr7

namespace pxr7 {
namespace {

TEST(HistorySummary, ARecordsFiguresCountOrderAndMarkAsTheCaseSays) {
    for (const test::SummaryCase& c : test::summaryCases()) {
        simrig::ScratchFolder scratch;
        const std::string path = scratch.path("record.jsonl");
        std::string text;
        long long seq = 0;
        for (const test::CaseLine& line : c.lines) {
            text += test::caseRecordLine(line, ++seq) + "\n";
        }
        simrig::writeFile(path, text);
        HistoryApi api(path);
        const HttpReply reply = api.summary({});
        ASSERT_EQ(reply.status, 200) << reply.body;
        test::expectSummary(parseJsonLine(reply.body)["summary"], c);
    }
}

TEST(HistorySummary, TheFiguresFollowTheFiltersAndStayBoundedForManyLanes) {
    simrig::ScratchFolder scratch;
    const std::string path = scratch.path("record.jsonl");
    std::string text;
    long long seq = 0;
    for (int lane = 0; lane < 300; ++lane) {
        for (const char* result : {"ok", "busy"}) {
            text += test::caseRecordLine(
                        {"2026-12-08T10:00:00Z", "L" + std::to_string(lane), result, 1}, ++seq) +
                    "\n";
        }
    }
    simrig::writeFile(path, text);
    HistoryApi api(path);
    JsonValue all = parseJsonLine(api.summary({}).body)["summary"];
    EXPECT_EQ(all["lanes"].size(), 50u);
    EXPECT_EQ(all["lanes_more"], 250);
    EXPECT_EQ(all["failed"], 300);
    EXPECT_EQ(api.summary({{"from", "yesterday"}}).status, 400);
    EXPECT_EQ(api.summary({{"result", "no such word"}}).status, 400);
    JsonValue one =
        parseJsonLine(api.summary({{"lane", "L7"}, {"result", "failed"}}).body)["summary"];
    EXPECT_EQ(one["ok"], 0);
    EXPECT_EQ(one["failed"], 1);
    ASSERT_EQ(one["reasons"].size(), 1u);
    EXPECT_EQ(one["reasons"][0]["code"], 11);
    EXPECT_EQ(one["reasons"][0]["words"].get<std::string>().rfind("busy: the bridge", 0), 0u);
}

TEST(HistorySummary, TheFiguresTakeInLinesAppendedAndARecordReplaced) {
    simrig::ScratchFolder scratch;
    const std::string path = scratch.path("record.jsonl");
    auto line = [](const char* lane, const char* result, long long seq) {
        return test::caseRecordLine({"2026-12-08T10:00:00Z", lane, result, 2}, seq) + "\n";
    };
    simrig::writeFile(path, line("A", "ok", 1) + line("A", "busy", 2));
    HistoryApi api(path);
    JsonValue summary = parseJsonLine(api.summary({}).body)["summary"];
    EXPECT_EQ(summary["failed"], 1);
    std::ofstream(path, std::ios::app) << line("B", "busy", 3);
    summary = parseJsonLine(api.summary({}).body)["summary"];
    EXPECT_EQ(summary["failed"], 2);
    EXPECT_EQ(summary["lanes"].size(), 2u);
    // Another record in its place: nothing of the first one is left in the figures.
    simrig::writeFile(path, line("C", "current", 1));
    summary = parseJsonLine(api.summary({}).body)["summary"];
    EXPECT_EQ(summary["failed"], 0);
    EXPECT_EQ(summary["current"], 1);
    ASSERT_EQ(summary["lanes"].size(), 1u);
    EXPECT_EQ(summary["lanes"][0]["lane"], "C");
    EXPECT_EQ(summary["reasons"].size(), 0u);
}

TEST(HistorySummary, AnEntryComesWithTheOutcomeInWordsAndTheUnitsOtherLinesNewestFirst) {
    simrig::ScratchFolder scratch;
    const std::string path = scratch.path("record.jsonl");
    simrig::writeFile(path, lineOf("busy", "PXA", "U-1") + lineOf("ok", "PXB", "U-2") +
                                lineOf("meter_silent", "PXA", "U-1") + lineOf("ok", "PXC", "U-1"));
    HistoryApi api(path);
    JsonValue body = parseJsonLine(api.entry({{"line", "4"}}).body);
    EXPECT_EQ(body["outcome"]["result"], "ok");
    EXPECT_EQ(body["outcome"]["code"], 0);
    ASSERT_EQ(body["unit_lines"].size(), 2u);
    EXPECT_EQ(body["unit_lines"][0]["line"], 3);
    EXPECT_EQ(body["unit_lines"][0]["lane"], "PXA");
    EXPECT_EQ(body["unit_lines"][1]["line"], 1);
    EXPECT_EQ(body["unit_lines_more"], 0);
    body = parseJsonLine(api.entry({{"line", "2"}}).body);
    EXPECT_EQ(body["unit_lines"].size(), 0u);
}

} // namespace
} // namespace pxr7
