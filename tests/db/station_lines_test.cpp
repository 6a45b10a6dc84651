// A station's poller pages as the collector checks them: lines with hostile benches (a
// direction override, a name written as its bytes one per character, NUL escapes, an old line
// without bench or seq) are given as they stand with what the page adds, and the collector's
// check that the page and the JSON Lines name the same lines accepts every one.
#include "history_api.h"
#include "rig_files.h"
#include "station_client.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace pxr7 {
namespace {

TEST(StationLines, HostileBenchesPassTheCollectorsCheckOfPageAndLines) {
    const char* const lines[] = {
        R"({"schema":1,"host":"h\u202e","result":"ok"})",
        R"({"schema":1,"host":"\u00e2\u0080\u00ae\u0000","result":"ok"})",
        R"({"schema":1,"bench":"\u202e","seq":1,"result":"ok"})",
        R"({"schema":1,"bench":"\u202Eevil\u202c","seq":2,"result":"ok","n":1.50})",
        "{\"schema\":1,\"bench\":\"\xe2\x80\xae raw\",\"seq\":3,\"result\":\"ok\"}",
        R"({"schema":1,"bench":"\u00e2\u0080\u00ae","seq":4,"result":"ok"})",
        R"({"schema":1,"bench":"\u00c3\u00a9\u202e","seq":5,"result":"ok"})",
        R"({"schema":1,"bench":"a\u0000b\u0000","seq":6,"result":"ok"})",
        R"({"schema":1,"bench":"\u0000\u00e2\u0080\u00ae","seq":7,"result":"ok"})",
        R"({"schema":1,"bench":"","host":"\u202e","seq":8,"result":"ok"})",
        R"({"schema":1,"bench":"X","bench":"\u00e2\u0080\u00ae","seq":9,"result":"ok"})",
        R"({ "schema" : 1 , "\u0062ench" : "\u00ff" , "seq" : 10 , "result" : "ok" })",
    };
    simrig::ScratchFolder folder;
    const std::string path = folder.path("record.jsonl");
    std::string file;
    for (const char* line : lines) {
        file += std::string(line) + "\n";
    }
    simrig::writeFile(path, file);
    HistoryApi api(path);
    const QueryParams all = {{"since", "-9223372036854775808"}};
    const HttpReply page = api.history(all), jsonl = api.jsonl(all);
    ASSERT_EQ(page.status, 200);
    EXPECT_EQ(jsonl.body, file);
    StationPage read;
    std::string problem;
    ASSERT_TRUE(parseSincePage(page.body, INT64_MIN, kStationPageLines, read, problem)) << problem;
    ASSERT_EQ(read.lines.size(), sizeof lines / sizeof lines[0]);
    EXPECT_TRUE(attachLineBytes(jsonl.body, read, problem)) << problem;
    for (std::size_t i = 0; i < read.lines.size(); ++i) {
        EXPECT_EQ(read.lines[i].bytes, lines[i]) << i;
    }
}

} // namespace
} // namespace pxr7
