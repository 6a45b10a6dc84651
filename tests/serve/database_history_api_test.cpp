// The database's history as the pages get it: the station's answer shape with each line's
// bench, bad requests refused, and a database that goes away said so (503) and taken up again.
#include "database_history_api.h"
#include "db_rig.h"
#include "drained_reply.h"
#include "json_text.h"
#include "serve_fill.h"
#include "summary_cases.h"

#include <gtest/gtest.h>

#include "history_store.h"
#include "json_text.h"
#include "record_export.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>

namespace pxr7 {
namespace {

bool has(const HttpReply& reply, const std::string& name, const std::string& value) {
    for (const auto& header : reply.headers) {
        if (header.first == name && header.second == value) {
            return true;
        }
    }
    return false;
}

// Lines 1 to count of bench "G", one a minute, made by the server itself.
bool fillMany(PgConnection& db, int count) {
    return db
        .exec("INSERT INTO record_lines (bench, seq, finished, day, lane, unit_id, "
              "lead_serial, result, host, line, station) SELECT 'G', g, f, substr(f, 1, 10), "
              "'L', 'U' || g, 'L', 'ok', 'h', json_build_object('schema', 1, 'seq', g, "
              "'unit_id', 'U,\"' || g, 'result', 'ok')::text, 's' FROM (SELECT g, "
              "to_char(timestamp '2026-01-01' + g * interval '1 minute', "
              "'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"') AS f FROM generate_series(1, $1) AS g) AS m",
              {std::to_string(count)})
        .ok();
}

DatabaseLimits tightLimits(std::size_t connections) {
    DatabaseLimits limits;
    limits.connections = connections;
    limits.connectionWait = std::chrono::milliseconds(200);
    limits.statementTimeout = std::chrono::milliseconds(300);
    return limits;
}

TEST(DatabaseHistoryApi, AnswersAsAStationDoesWithEachLinesBench) {
    PXR7_FRESH_DATABASE(url, "pxr7_history_api");
    PgConnection db;
    ASSERT_TRUE(test::openWithTables(db, url));
    ASSERT_TRUE(
        test::fill(db, {"A", 1, "2026-12-01T10:00:00Z", "L1", "U1", "ok", R"({"result":"ok"})"}));
    ASSERT_TRUE(
        test::fill(db, {"B", 7, "2026-12-02T10:00:00Z", "L1", "", "no_handshake", R"({"x":1})"}));
    DatabaseHistoryApi api(url);
    std::string problem;
    ASSERT_TRUE(api.open(problem)) << problem;
    const struct {
        QueryParams params;
        int status;
        const char* has; // in the body
    } cases[] = {
        {{}, 200, R"("benches":["A","B"])"},
        {{{"bench", "B"}}, 200, R"("lines":[{"x":1,"bench":"B","seq":7}])"},
        {{{"result", "failed"}}, 200, R"("total":1,)"},
        {{{"page", "0"}}, 400, "page"},
        {{{"per_page", "501"}}, 400, "per_page"},
        {{{"per_page", "00000000050"}}, 400, "per_page"}, // read as a station reads it
        {{{"from", "2026-13"}}, 400, "from"},
        {{{"since", "0"}}, 400, "since"},
    };
    for (const auto& c : cases) {
        const HttpReply reply = api.history(c.params);
        EXPECT_EQ(reply.status, c.status) << reply.body;
        EXPECT_NE(reply.body.find(c.has), std::string::npos) << reply.body;
    }
    // The answer to the byte, in the shape a station's own record gives it, and its benches.
    std::string body = api.history({{"per_page", "1"}}).body;
    // Every result word the program knows is a choice: the list is the exit codes' table.
    const std::size_t results = body.find(R"("results":[)"), end = body.find(']', results);
    ASSERT_NE(end, std::string::npos) << body;
    body.erase(results + 11, end - results - 11);
    EXPECT_EQ(body, R"({"schema":1,"total":2,"page":1,"per_page":1,"pages":2,"unreadable":0,)"
                    R"("lines":[{"x":1,"bench":"B","seq":7}],)"
                    R"("totals":{"lanes":[{"lane":"L1","ok":1,"current":0,"failed":1}],)"
                    R"("lanes_more":0,)"
                    R"("days":[{"day":"2026-12-02","ok":0,"current":0,"failed":1},)"
                    R"({"day":"2026-12-01","ok":1,"current":0,"failed":0}],"days_more":0},)"
                    R"("choices":{"results":[],"lanes":["L1"],"lanes_more":0,)"
                    R"("benches":["A","B"]}})");
    EXPECT_EQ(api.entry({{"bench", "B"}, {"seq", "7"}}).status, 200);
    EXPECT_EQ(api.entry({{"bench", "B"}, {"seq", "8"}}).status, 404);
    EXPECT_EQ(api.entry({{"seq", "7"}}).status, 400);
    EXPECT_EQ(drained(api.jsonl({})), "{\"result\":\"ok\"}\n{\"x\":1}\n"); // oldest first
    EXPECT_LT(drained(api.csv({{"bench", "A"}})).size(), drained(api.csv({})).size());
    ASSERT_TRUE(test::fill(db, {"C", 1, "2026-12-03T10:00:00Z", "L1", "", "ok",
                                R"({"schema":1,"unit_id":"@x","result":"ok"})"}));
    EXPECT_NE(drained(api.csv({{"bench", "C"}})).find(",'@x,ok,"), std::string::npos);
    EXPECT_NE(drained(api.csv({{"bench", "C"}, {"exact", "1"}})).find(",@x,ok,"),
              std::string::npos);
}

// A name stored by a line written as its characters and by one written as its bytes (one per
// character, from before names were UTF-8) is one lane, found under that name; a typed unit id
// whose characters all lie below U+0100 is looked up as typed.
TEST(DatabaseHistoryApi, ANameWrittenEitherWayIsOneLaneAndOneUnit) {
    PXR7_FRESH_DATABASE(url, "pxr7_history_names");
    PgConnection db;
    ASSERT_TRUE(test::openWithTables(db, url));
    const std::string name = "L\xc3\xadnea 1 \xe2\x80\x93 Pr\xc3\xbc"
                             "fung";
    const std::string asBytes = jsonText(name).get<std::string>();
    const std::string unit = "Pr\xc3\xbc"
                             "fung";
    ASSERT_TRUE(test::fill(db, {"A", 1, "2026-12-01T10:00:00Z", name, unit, "ok", "{}"}));
    ASSERT_TRUE(test::fill(db, {"A", 2, "2026-12-01T11:00:00Z", asBytes,
                                jsonText(unit).get<std::string>(), "busy", "{}"}));
    ASSERT_TRUE(test::fill(db, {"A", 3, "2026-12-01T12:00:00Z", "constructor", "", "ok", "{}"}));
    DatabaseHistoryApi api(url);
    std::string problem;
    ASSERT_TRUE(api.open(problem)) << problem;
    const JsonValue all = parseJsonLine(api.history({}).body);
    ASSERT_EQ(all["totals"]["lanes"].size(), 2u) << jsonLine(all["totals"]);
    const JsonValue& lane = all["totals"]["lanes"][0]; // by name: "L" before "c"
    EXPECT_EQ(textOf(lane["lane"]), name);
    EXPECT_EQ(std::make_pair(lane["ok"], lane["failed"]),
              std::make_pair(JsonValue(1), JsonValue(1)));
    ASSERT_EQ(all["choices"]["lanes"].size(), 2u);
    // The page sends a lane back as the characters it was given.
    const std::string sent = jsonText(name).get<std::string>();
    EXPECT_NE(std::find(all["choices"]["lanes"].begin(), all["choices"]["lanes"].end(), sent),
              all["choices"]["lanes"].end());
    for (const QueryParams& params :
         {QueryParams{{"lane", sent}}, QueryParams{{"lane", name}}, QueryParams{{"unit", unit}}}) {
        const HttpReply reply = api.history(params);
        EXPECT_EQ(reply.status, 200) << reply.body;
        EXPECT_EQ(parseJsonLine(reply.body)["total"], 2) << params.begin()->first;
    }
    const HttpReply typed = api.history({{"unit", "Pr\xc3\xbc"}}); // "Prü": no unit, no error
    EXPECT_EQ(typed.status, 200) << typed.body;
}

TEST(DatabaseHistoryApi, ADatabaseAwaySaysSoAndIsTakenUpAgain) {
    PXR7_FRESH_DATABASE(url, "pxr7_history_away");
    PgConnection db;
    ASSERT_TRUE(test::openWithTables(db, url));
    db.close();
    DatabaseHistoryApi api(url);
    std::string problem;
    ASSERT_TRUE(api.open(problem)) << problem;
    {
        // Three connections at once, idle in the pool when the server goes.
        const HttpReply a = api.jsonl({}), b = api.jsonl({}), c = api.csv({});
        ASSERT_TRUE(a.chunks && b.chunks && c.chunks);
    }
    const std::string rig = std::string("bash '") + PXR7_PG_RIG + "' ";
    const std::string state = std::string("'") + std::getenv("PXR7_TEST_DATABASE_STATE") + "'";
    ASSERT_EQ(std::system((rig + "pause " + state).c_str()), 0);
    const HttpReply away = api.history({});
    const HttpReply stillAway = api.entry({{"bench", "A"}, {"seq", "1"}});
    ASSERT_EQ(std::system((rig + "resume " + state).c_str()), 0);
    EXPECT_EQ(away.status, 503);
    EXPECT_NE(away.body.find("\"error\""), std::string::npos);
    EXPECT_EQ(stillAway.status, 503);
    EXPECT_EQ(api.history({}).status, 200) << "no request after it finds a link of before";
    // Only what lasts stops pxr7 serve at the start; a server away or no tables yet do not.
    PXR7_FRESH_DATABASE(empty, "pxr7_history_empty");
    const std::string host = url.substr(url.find("?host="));
    const struct {
        std::string url;
        bool opens;
    } starts[] = {
        {"postgresql:///pxr7?host=/nonexistent&user=x", true},
        {empty, true},
        {"postgresql://[::1", false},
        {"postgresql:///no_such_database" + host, false},
    };
    for (const auto& start : starts) {
        DatabaseHistoryApi api2(start.url);
        EXPECT_EQ(api2.open(problem), start.opens) << start.url;
        EXPECT_FALSE(problem.empty()) << start.url;
        EXPECT_EQ(api2.history({}).status, 503) << start.url;
    }
    DatabaseHistoryApi later(empty);
    ASSERT_TRUE(later.open(problem));
    ASSERT_TRUE(test::openWithTables(db, empty));
    EXPECT_EQ(later.history({}).status, 200) << "the tables the collector made later are read";
}

// A table held by a lock answers "did not answer in time" within the statement timeout, and
// the connection goes on; with every connection held by an export, a request is told the
// database is busy instead of waiting for it; each with when to ask again.
TEST(DatabaseHistoryApi, ALockedTableOrEveryConnectionInUseAnswers503AndNeverHangs) {
    PXR7_FRESH_DATABASE(url, "pxr7_history_lock");
    PgConnection db, locker;
    ASSERT_TRUE(test::openWithTables(db, url));
    ASSERT_TRUE(fillMany(db, 1500));
    DatabaseHistoryApi api(url, tightLimits(2));
    std::string problem;
    ASSERT_TRUE(api.open(problem)) << problem;
    ASSERT_TRUE(locker.connect(url).ok());
    ASSERT_TRUE(locker.begin().ok());
    ASSERT_TRUE(locker.exec("LOCK TABLE record_lines IN ACCESS EXCLUSIVE MODE").ok());
    auto asked = std::async(std::launch::async, [&] { return api.history({}); });
    const bool answered = asked.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    locker.rollback(); // lets a hung request end before the test does
    ASSERT_TRUE(answered) << "a request waited for the lock";
    const HttpReply locked = asked.get();
    EXPECT_EQ(locked.status, 503);
    EXPECT_EQ(locked.body, R"({"error":"the database did not answer in time"})");
    EXPECT_TRUE(has(locked, "Retry-After", "5"));
    EXPECT_EQ(api.history({}).status, 200) << "the connection that timed out goes on";
    {
        const HttpReply first = api.jsonl({}), second = api.csv({});
        ASSERT_TRUE(first.chunks && second.chunks);
        const HttpReply busy = api.history({});
        EXPECT_EQ(busy.status, 503);
        EXPECT_NE(busy.body.find("every connection is in use"), std::string::npos) << busy.body;
        EXPECT_TRUE(has(busy, "Retry-After", "1"));
        // A filter it cannot read is the asker's to mend, busy or not: it borrows nothing.
        const QueryParams bad = {{"from", "2026-13"}};
        for (const HttpReply& refused :
             {api.history(bad), api.csv(bad), api.jsonl(bad), api.summary(bad)}) {
            EXPECT_EQ(refused.status, 400) << refused.body;
        }
    }
    EXPECT_EQ(api.history({}).status, 200)
        << "exports dropped part-way give their connections back";
}

// An export is read through a cursor a part at a time, its bytes those of the whole-answer
// writers; one cut off by a lost connection ends Failed, and the next request connects again.
TEST(DatabaseHistoryApi, ExportsStreamTheCursorAndEndCutShortWhenItBreaks) {
    PXR7_FRESH_DATABASE(url, "pxr7_history_export");
    PgConnection db;
    ASSERT_TRUE(test::openWithTables(db, url));
    ASSERT_TRUE(fillMany(db, 2500));
    std::vector<StoreLine> all;
    ASSERT_TRUE(HistoryStore(db).all({}, all).ok());
    std::string csv = recordCsvHeader(), jsonl;
    for (const StoreLine& line : all) {
        appendRecordCsvRow(line.line, csv);
        jsonl += line.line + "\n";
    }
    DatabaseHistoryApi api(url, tightLimits(1));
    for (const bool isCsv : {true, false}) {
        const HttpReply reply = isCsv ? api.csv({}) : api.jsonl({});
        ASSERT_EQ(reply.status, 200);
        bool whole = false;
        std::size_t parts = 0;
        EXPECT_EQ(drained(reply, &whole, &parts), isCsv ? csv : jsonl);
        EXPECT_TRUE(whole);
        EXPECT_EQ(parts, 3u) << "1,000 rows a part";
    }
    EXPECT_EQ(drained(api.jsonl({{"bench", "nobody"}})), "");
    const HttpReply cut = api.jsonl({});
    std::string part;
    ASSERT_EQ(cut.chunks(part), Chunk::More);
    ASSERT_TRUE(db.exec("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE "
                        "datname = current_database() AND pid <> pg_backend_pid()")
                    .ok());
    bool whole = true;
    drained(cut, &whole);
    EXPECT_FALSE(whole) << "an export cut short is not said to be whole";
    EXPECT_EQ(api.history({}).status, 200);
}

// A filter that is not UTF-8, or one the database refuses as text, is the client's error;
// no error body names where the database is.
TEST(DatabaseHistoryApi, BadTextIsTheClientsErrorAndNoBodyNamesTheServer) {
    PXR7_FRESH_DATABASE(url, "pxr7_history_bad_text");
    PgConnection db;
    ASSERT_TRUE(test::openWithTables(db, url));
    DatabaseHistoryApi api(url);
    const QueryParams bad[] = {
        {{"bench", "\xff"}},
        {{"lane", "L\xc3"}},
        {{"result", "\xed\xa0\x80"}},
    };
    for (const QueryParams& params : bad) {
        for (const HttpReply& reply :
             {api.history(params), api.csv(params), api.jsonl(params), api.summary(params)}) {
            EXPECT_EQ(reply.status, 400) << params.begin()->first << ": " << reply.body;
            EXPECT_FALSE(reply.chunks);
        }
    }
    EXPECT_EQ(api.entry({{"bench", "\xff"}, {"seq", "1"}}).status, 400);
    // A name typed with characters below U+0100 is a name, looked up as typed.
    EXPECT_EQ(api.history({{"unit", "\xc3\xbf"}}).status, 200);
    EXPECT_EQ(api.entry({{"bench", "B"}, {"seq", "1"}, {"stream", "\xff"}}).status, 400);
    const std::string host =
        url.substr(url.find("host=") + 5, url.find('&') - url.find("host=") - 5);
    for (const std::string& away :
         {std::string("postgresql:///pxr7?host=/nonexistent-pxr7&user=x"),
          "postgresql:///no_such_database?host=" + host + "&user=nobody_here"}) {
        DatabaseHistoryApi gone(away);
        const HttpReply reply = gone.history({});
        EXPECT_EQ(reply.status, 503);
        for (const char* secret : {"nonexistent", "PGSQL", "5432", "socket", "nobody_here"}) {
            EXPECT_EQ(reply.body.find(secret), std::string::npos) << reply.body;
        }
        EXPECT_EQ(reply.body.find(host), std::string::npos) << reply.body;
    }
}

// A bench whose record started again holds its seqs in two streams: /api/entry gives the
// line of the stream asked for, else the one collected last, and names both.
TEST(DatabaseHistoryApi, EntryOfASeqInTwoStreamsIsTheStreamAskedForOrTheLatest) {
    PXR7_FRESH_DATABASE(url, "pxr7_history_streams");
    PgConnection db;
    ASSERT_TRUE(test::openWithTables(db, url));
    const std::string older(32, 'a'), newer(32, 'b');
    for (const std::string& stream : {older, newer}) {
        ASSERT_TRUE(db.exec("INSERT INTO record_lines (bench, seq, finished, day, lane, "
                            "lead_serial, result, host, line, station, stream) VALUES ('B', 1, "
                            "'', '', 'L', 'S', 'ok', 'h', $1, 's', $2)",
                            {R"({"schema":1,"stream":")" + stream + R"(","result":"ok"})", stream})
                        .ok());
    }
    DatabaseHistoryApi api(url);
    const struct {
        QueryParams params;
        int status;
        std::string stream;
    } cases[] = {
        {{{"bench", "B"}, {"seq", "1"}}, 200, newer},
        {{{"bench", "B"}, {"seq", "1"}, {"stream", older}}, 200, older},
        {{{"bench", "B"}, {"seq", "1"}, {"stream", newer}}, 200, newer},
        {{{"bench", "B"}, {"seq", "1"}, {"stream", std::string(32, 'c')}}, 404, ""},
        {{{"bench", "B"}, {"seq", "2"}}, 404, ""},
    };
    for (const auto& c : cases) {
        const HttpReply reply = api.entry(c.params);
        EXPECT_EQ(reply.status, c.status) << reply.body;
        if (c.status == 200) {
            const JsonValue body = parseJsonLine(reply.body);
            EXPECT_EQ(body["stream"], c.stream);
            EXPECT_EQ(body["entry"]["stream"], c.stream);
            EXPECT_EQ(jsonLine(body["streams"]), "[\"" + newer + "\",\"" + older + "\"]");
        }
    }
}

// The database sums a case's lines to the same figures as a record of them does.
TEST(DatabaseSummary, TheDatabasesFiguresAreARecordsFigures) {
    PXR7_FRESH_DATABASE(url, "pxr7_summary");
    PgConnection db;
    ASSERT_TRUE(test::openWithTables(db, url));
    DatabaseHistoryApi api(url);
    std::string problem;
    ASSERT_TRUE(api.open(problem)) << problem;
    long long seq = 0;
    for (const test::SummaryCase& c : test::summaryCases()) {
        // Each case is its own bench, asked with the bench filter.
        const std::string bench = std::string("case ") + c.name;
        for (const test::CaseLine& line : c.lines) {
            ++seq;
            ASSERT_TRUE(
                test::fill(db, {bench, seq, line.finished, line.lane, "U" + std::to_string(seq),
                                line.result, test::caseRecordLine(line, seq)}));
        }
        const HttpReply reply = api.summary({{"bench", bench}});
        ASSERT_EQ(reply.status, 200) << reply.body;
        test::expectSummary(parseJsonLine(reply.body)["summary"], c);
    }
    std::vector<BenchSummary> benches;
    ASSERT_TRUE(api.benchSummaries("2026-12-08", benches, problem)) << problem;
    ASSERT_EQ(benches.size(), test::summaryCases().size() - 1); // the empty case has no bench
    for (const BenchSummary& one : benches) {
        if (one.bench == "case a day boundary in UTC") {
            EXPECT_EQ(one.summary.counts.outcomes(), 3); // the 7th is before the window
            EXPECT_EQ(one.summary.medianSeconds, 2);
        }
        if (one.bench == "case a lane whose failures rise") {
            ASSERT_FALSE(one.summary.lanes.empty());
            EXPECT_EQ(one.summary.lanes[0].key, "F");
            EXPECT_TRUE(one.summary.lanes[0].falling);
            EXPECT_FALSE(one.summary.lanes.size() < 2 || one.summary.lanes[1].falling);
            EXPECT_EQ(one.summary.reasons.front().result, "handshake_timeout");
        }
        if (one.bench == "case all stopped") {
            EXPECT_EQ(one.summary.counts.outcomes(), 0);
            EXPECT_FALSE(one.summary.medianSeconds);
        }
    }
}

TEST(DatabaseSummary, AnEntryComesWithTheUnitsOtherLinesOfEveryBenchNewestFirst) {
    PXR7_FRESH_DATABASE(url, "pxr7_unit_lines");
    PgConnection db;
    ASSERT_TRUE(test::openWithTables(db, url));
    const char* finished[] = {"2026-12-01T10:00:00Z", "2026-12-03T10:00:00Z",
                              "2026-12-02T10:00:00Z", "2026-12-04T10:00:00Z"};
    for (int i = 0; i < 4; ++i) {
        RecordEntry entry;
        entry.finished = finished[i];
        entry.leadSerial = "S" + std::to_string(i);
        entry.unitId = i == 2 ? "other" : "U-1";
        entry.result = i == 0 ? "busy" : "ok";
        ASSERT_TRUE(test::fill(db, {i < 2 ? "A" : "B", i + 1, finished[i], entry.leadSerial,
                                    entry.unitId, entry.result, recordLine(entry)}));
    }
    DatabaseHistoryApi api(url);
    std::string problem;
    ASSERT_TRUE(api.open(problem)) << problem;
    const JsonValue body = parseJsonLine(api.entry({{"bench", "A"}, {"seq", "1"}}).body);
    EXPECT_EQ(body["outcome"]["result"], "busy");
    EXPECT_EQ(body["outcome"]["code"], 11);
    ASSERT_EQ(body["unit_lines"].size(), 2u) << body.dump();
    EXPECT_EQ(body["unit_lines"][0]["bench"], "B");
    EXPECT_EQ(body["unit_lines"][0]["seq"], 4);
    EXPECT_EQ(body["unit_lines"][0]["lane"], "S3");
    EXPECT_EQ(body["unit_lines"][1]["seq"], 2);
    EXPECT_EQ(body["unit_lines_more"], 0);
}

} // namespace
} // namespace pxr7
