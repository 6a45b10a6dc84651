// The database's history as the pages get it: the station's answer shape with each line's
// bench, bad requests refused, and a database that goes away said so (503) and taken up again.
#include "database_history_api.h"
#include "db_rig.h"
#include "json_text.h"
#include "serve_fill.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace pxr7 {
namespace {

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
        {{{"from", "2026-13"}}, 400, "from"},
        {{{"since", "0"}}, 400, "since"},
    };
    for (const auto& c : cases) {
        const HttpReply reply = api.history(c.params);
        EXPECT_EQ(reply.status, c.status) << reply.body;
        EXPECT_NE(reply.body.find(c.has), std::string::npos) << reply.body;
    }
    EXPECT_EQ(api.entry({{"bench", "B"}, {"seq", "7"}}).status, 200);
    EXPECT_EQ(api.entry({{"bench", "B"}, {"seq", "8"}}).status, 404);
    EXPECT_EQ(api.entry({{"seq", "7"}}).status, 400);
    EXPECT_EQ(api.jsonl({}).body, "{\"result\":\"ok\"}\n{\"x\":1}\n"); // oldest first
    EXPECT_EQ(api.csv({{"bench", "A"}}).body.find("\r\n") + 2 < api.csv({}).body.size(), true);
    ASSERT_TRUE(test::fill(db, {"C", 1, "2026-12-03T10:00:00Z", "L1", "", "ok",
                                R"({"schema":1,"unit_id":"@x","result":"ok"})"}));
    EXPECT_NE(api.csv({{"bench", "C"}}).body.find(",'@x,ok,"), std::string::npos);
    EXPECT_NE(api.csv({{"bench", "C"}, {"exact", "1"}}).body.find(",@x,ok,"), std::string::npos);
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
    const std::string rig = std::string("bash '") + PXR7_PG_RIG + "' ";
    const std::string state = std::string("'") + std::getenv("PXR7_TEST_DATABASE_STATE") + "'";
    ASSERT_EQ(std::system((rig + "pause " + state).c_str()), 0);
    const HttpReply away = api.history({});
    const HttpReply stillAway = api.entry({{"bench", "A"}, {"seq", "1"}});
    ASSERT_EQ(std::system((rig + "resume " + state).c_str()), 0);
    EXPECT_EQ(away.status, 503);
    EXPECT_NE(away.body.find("\"error\""), std::string::npos);
    EXPECT_EQ(stillAway.status, 503);
    EXPECT_EQ(api.history({}).status, 200);
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

} // namespace
} // namespace pxr7
