// The write side against a real server: a page stored twice counts once, a line that clashes
// with another of its key is kept aside, and whatever a record line holds comes back byte for
// byte.
#include "db_rig.h"
#include "json_text.h"
#include "line_checks.h"
#include "record_store.h"
#include "schema.h"

#include <gtest/gtest.h>

namespace pxr7 {
namespace {

StationLine recordLine(const std::string& bench, std::int64_t seq, const std::string& lane,
                       const std::string& unit, const char* result) {
    JsonValue line = {{"schema", 1},
                      {"bench", bench},
                      {"seq", seq},
                      {"command", "station"},
                      {"finished", "2026-12-08T09:30:05Z"},
                      {"host", "bench-host"},
                      {"lead_serial", "PX7A0000"},
                      {"lead_index", 0},
                      {"lane_name", lane},
                      {"unit_id", unit},
                      {"result", result}};
    return stationLine(bench, seq, line.dump(-1, ' ', false));
}

std::vector<std::string> row(PgConnection& db, const std::string& sql,
                             const std::vector<SqlParam>& params = {}) {
    PgResult result;
    const DbStatus status = db.exec(sql, params, &result);
    EXPECT_TRUE(status.ok()) << status.message;
    std::vector<std::string> values;
    for (int column = 0; result.rows() > 0 && !result.isNull(0, column); ++column) {
        values.push_back(result.text(0, column));
    }
    return values;
}

class RecordStore : public ::testing::Test {
protected:
    bool open(const std::string& url) {
        return db.connect(url).ok() && ensureSchema(db).outcome == SchemaOutcome::Ready;
    }
    std::size_t store(const StationPage& page, const char* station = "http://station:1",
                      std::size_t* clashing = nullptr) {
        PageStored stored;
        const DbStatus status = storePage(db, station, page, stored);
        EXPECT_TRUE(status.ok()) << status.message;
        if (clashing != nullptr) {
            *clashing = 0;
            for (const QuarantinedLines& aside : stored.quarantined) {
                *clashing += aside.reason == kSeqRepeats ? aside.lines : 0;
            }
        }
        return stored.inserted;
    }
    PgConnection db;
};

TEST_F(RecordStore, APageStoredTwiceCountsOnce) {
    PXR7_FRESH_DATABASE(url, "pxr7_store_twice");
    ASSERT_TRUE(open(url));
    StationPage page;
    page.lines = {recordLine("B", 1, "A", "U1", "ok"), recordLine("B", 2, "A", "U2", "busy"),
                  recordLine("B", 3, "A", "", "current"), recordLine("B", 4, "A", "", "ok")};
    page.nextSince = 4;
    StationPage overlap = page; // a page fetched again after a commit that seemed to fail
    overlap.lines.push_back(recordLine("B", 5, "A", "", "meter_silent"));
    overlap.nextSince = 5;
    // Another bench of the same name: its seq 3 is another line, kept aside, never dropped.
    StationPage namesake;
    namesake.lines = {recordLine("B", 3, "A", "U9", "ok"), recordLine("B", 6, "A", "", "ok")};
    namesake.nextSince = 6;
    const struct {
        const StationPage* page;
        const char* station;
        std::size_t added, clashing;
    } rounds[] = {{&page, "http://station:1", 4, 0},    {&page, "http://station:1", 0, 0},
                  {&overlap, "http://station:1", 1, 0}, {&overlap, "http://station:1", 0, 0},
                  {&namesake, "http://other:2", 1, 1},  {&namesake, "http://other:2", 0, 1}};
    for (const auto& round : rounds) {
        std::size_t clashing = 0;
        EXPECT_EQ(store(*round.page, round.station, &clashing), round.added);
        EXPECT_EQ(clashing, round.clashing);
    }
    // Kept once, with the bytes it came with.
    EXPECT_EQ(
        row(db, "SELECT count(*), min(station), min(convert_from(line, 'UTF8')), min(reason)"
                " FROM record_quarantine"),
        (std::vector<std::string>{"1", "http://other:2", namesake.lines[0].bytes, kSeqRepeats}));
    EXPECT_EQ(row(db, "SELECT count(*), min(seq), max(seq) FROM record_lines"),
              (std::vector<std::string>{"6", "1", "6"}));
    EXPECT_EQ(row(db, "SELECT lane, day, ok, current, failed FROM record_totals"),
              (std::vector<std::string>{"A", "2026-12-08", "3", "1", "2"}));
    EXPECT_EQ(row(db, "SELECT bench, next_since FROM collector_stations WHERE station = $1",
                  {"http://station:1"}),
              (std::vector<std::string>{"B", "5"}));
    EXPECT_EQ(row(db, "SELECT string_agg(seq::text, ',' ORDER BY arrival) FROM record_lines"),
              (std::vector<std::string>{"1,2,3,4,5,6"}));
}

TEST_F(RecordStore, HostileTextsComeBackByteForByte) {
    PXR7_FRESH_DATABASE(url, "pxr7_store_hostile");
    ASSERT_TRUE(open(url));
    const std::string texts[] = {"'); DROP TABLE record_lines; --",
                                 "<script>alert(1)</script>",
                                 std::string(100 * 1024, 'x'),
                                 "Prüfplatz Ü, \"links\" 日本 😀",
                                 "a\"b\\c,{NULL}",
                                 "NULL",
                                 "line\r\nbreak\ttab",
                                 "$1 $$ E'\\x00'"};
    StationPage page;
    std::int64_t seq = -10;
    for (const std::string& text : texts) {
        // A bench is an identity and goes into keys whole: the long text is no bench.
        const std::string bench = text.size() <= kMaxBenchBytes ? text : "long";
        page.lines.push_back(recordLine(bench, ++seq, text, text, "ok"));
    }
    page.nextSince = seq;
    ASSERT_EQ(store(page), page.lines.size());
    for (std::size_t i = 0; i < page.lines.size(); ++i) {
        const StationLine& line = page.lines[i];
        const auto stored = row(db,
                                "SELECT line, lane, unit_id, bench FROM record_lines WHERE "
                                "bench = $1 AND seq = $2",
                                {line.bench, std::to_string(line.seq)});
        // Indexed texts are a bounded copy; the line stays whole.
        const std::string text = texts[i].substr(0, 200);
        EXPECT_EQ(stored, (std::vector<std::string>{line.bytes, text, text, line.bench}))
            << text.substr(0, 40);
    }
    EXPECT_EQ(row(db, "SELECT count(*) FROM record_lines"),
              (std::vector<std::string>{std::to_string(page.lines.size())}));
}

} // namespace
} // namespace pxr7
