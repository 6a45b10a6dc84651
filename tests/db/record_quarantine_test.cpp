// Lines that cannot go into their stream are kept aside with the reason while every other line
// goes on; two collectors at once store each line once; a version-1 database is brought up in
// place; and the chain of what is stored is walked as history --verify walks it.
#include "db_rig.h"
#include "line_checks.h"
#include "record_chain.h"
#include "record_index.h"
#include "record_json.h"
#include "record_lines.h"
#include "record_store.h"
#include "record_verify.h"
#include "schema.h"

#include <gtest/gtest.h>

#include <thread>

namespace pxr7 {
namespace {

// Lines of one stream, each naming the one before it, as a bench writes them.
std::vector<StationLine> streamLines(const std::string& stream, const std::string& bench, int from,
                                     int to, const std::string& unit = "U") {
    std::vector<StationLine> lines;
    std::string prev;
    for (int seq = 1; seq <= to; ++seq) {
        RecordEntry entry;
        entry.bench = bench;
        entry.seq = seq;
        entry.stream = stream;
        entry.prev = prev;
        entry.finished = "2026-12-08T09:30:05Z";
        entry.unitId = unit + std::to_string(seq);
        entry.result = "ok";
        const std::string line = recordLine(entry);
        prev = lineDigest(line);
        if (seq >= from) {
            lines.push_back(stationLine(bench, seq, line));
        }
    }
    return lines;
}

StationPage pageOf(std::vector<StationLine> lines) {
    StationPage page;
    page.lines = std::move(lines);
    page.nextSince = page.lines.empty() ? 0 : page.lines.back().seq;
    return page;
}

std::string scalar(PgConnection& db, const std::string& sql) {
    PgResult result;
    const DbStatus status = db.exec(sql, {}, &result);
    EXPECT_TRUE(status.ok()) << sql << ": " << status.message;
    return status.ok() && result.rows() > 0 ? result.text(0, 0) : "";
}

const std::string kStreamA(32, 'a'), kStreamB(32, 'b');

TEST(LineChecks, EachLineItsFate) {
    const std::vector<StationLine> original = streamLines(kStreamA, "B", 1, 6);
    std::vector<StationLine> lines = original;
    RecordEntry entry;
    std::string host;
    parseRecordLine(lines[2].bytes, entry, host);
    entry.unitId = "changed";
    lines[2] =
        stationLine("B", 3, recordLine(entry)); // its prev still right; line 4's prev now wrong
    StationPage page = pageOf(lines);
    std::map<LineKey, std::string> digests;
    digests[{kStreamA, "", 1}] = lineDigest(original[0].bytes);
    digests[{kStreamA, "", 6}] = std::string(64, '0'); // another line 6 is stored
    std::vector<CheckedLine> checked = readPageLines(page);
    checkLines(checked, digests);
    using Fate = CheckedLine::Fate;
    const Fate expected[] = {Fate::Repeat,     Fate::Store, Fate::Store,
                             Fate::Quarantine, Fate::Store, Fate::Quarantine};
    for (std::size_t i = 0; i < checked.size(); ++i) {
        EXPECT_EQ(checked[i].fate, expected[i]) << "seq " << i + 1 << ": " << checked[i].reason;
    }
    EXPECT_EQ(checked[3].reason, "its prev is not the line of seq 3");
    EXPECT_EQ(checked[5].reason, kSeqRepeats);
    EXPECT_EQ(keysToLookUp(checked).size(), 12u) << "each line's key and the one before";
    // Limits before any key: too long, a bench too long, a stream or prev that is none.
    const StationLine tooLong = stationLine("B", 1, std::string(kMaxRecordLineBytes + 1, ' '));
    StationPage limits =
        pageOf({tooLong, stationLine(std::string(201, 'b'), 2, original[1].bytes)});
    std::vector<CheckedLine> limited = readPageLines(limits);
    limited.push_back(limited[1]);
    limited.back().line = &limits.lines[1];
    limited.back().stream = "not a stream";
    checkLines(limited, {});
    for (const CheckedLine& line : limited) {
        EXPECT_EQ(line.fate, Fate::Quarantine) << line.reason;
    }
}

class Quarantine : public ::testing::Test {
protected:
    bool open(PgConnection& db, const std::string& url) {
        return db.connect(url).ok() && ensureSchema(db).outcome == SchemaOutcome::Ready;
    }
    PageStored store(PgConnection& db, const StationPage& page, const char* station) {
        PageStored stored;
        const DbStatus status = storePage(db, station, page, stored);
        EXPECT_TRUE(status.ok()) << status.message;
        return stored;
    }
};

TEST_F(Quarantine, ABadLineGoesAsideAndEveryOtherLineOfEveryStationIsStored) {
    PXR7_FRESH_DATABASE(url, "pxr7_quarantine");
    PgConnection db;
    ASSERT_TRUE(open(db, url));
    // What the database itself refuses, for one line's content.
    ASSERT_TRUE(db.exec("ALTER TABLE record_lines ADD CONSTRAINT not_refused"
                        " CHECK (unit_id <> 'U7')")
                    .ok());
    std::vector<StationLine> lines = streamLines(kStreamA, "B", 1, 10);
    const std::string huge(4000, 'x');
    RecordEntry entry;
    std::string host;
    parseRecordLine(lines[2].bytes, entry, host);
    entry.bench = huge;
    entry.unitId = huge;
    lines[2] = stationLine(huge, 3, recordLine(entry)); // prev still that of 2: the stream goes on
    parseRecordLine(lines[4].bytes, entry, host);
    entry.prev = std::string(64, '1');
    lines[4] = stationLine("B", 5, recordLine(entry)); // a prev that is not line 4's
    const PageStored stored = store(db, pageOf(lines), "http://one:1");
    EXPECT_EQ(stored.inserted, 7u) << "all but 3, 5 and 7";
    ASSERT_EQ(stored.quarantined.size(), 3u);
    EXPECT_NE(stored.quarantined[0].reason.find("bench is longer"), std::string::npos);
    EXPECT_NE(stored.quarantined[1].reason.find("prev is not the line of seq 4"),
              std::string::npos);
    EXPECT_NE(stored.quarantined[2].reason.find("refused it (23514)"), std::string::npos)
        << stored.quarantined[2].reason;
    // Another station's stream, beside it, whole.
    EXPECT_EQ(store(db, pageOf(streamLines(kStreamB, "B", 1, 10, "V")), "http://two:2").inserted,
              10u);
    EXPECT_EQ(scalar(db, "SELECT string_agg(seq::text, ',' ORDER BY seq) FROM record_lines"
                         " WHERE stream = '" +
                             kStreamA + "'"),
              "1,2,4,6,8,9,10");
    EXPECT_EQ(scalar(db, "SELECT string_agg(seq::text, ',' ORDER BY seq) FROM record_quarantine"),
              "3,5,7");
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM record_quarantine WHERE length(line) = " +
                             std::to_string(lines[2].bytes.size()) + " AND seq = 3"),
              "1")
        << "the line kept whole";
    // Stored again, nothing changes: each line is stored or kept aside once.
    const PageStored again = store(db, pageOf(lines), "http://one:1");
    EXPECT_EQ(again.inserted, 0u);
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM record_quarantine"), "3");
    EXPECT_EQ(scalar(db, "SELECT sum(ok) FROM record_totals"), "17");
}

TEST_F(Quarantine, TwoCollectorsAtOnceStoreOrKeepEachLineOnce) {
    PXR7_FRESH_DATABASE(url, "pxr7_quarantine_race");
    PgConnection setup;
    ASSERT_TRUE(open(setup, url));
    constexpr int kLines = 2000, kPage = 100;
    // One bench name, two streams' lines under the same keys from before streams (clashing),
    // and one stream that both stations serve (identical lines).
    auto streamless = [](const char* unit) {
        std::vector<StationLine> lines;
        for (int seq = 1; seq <= kLines; ++seq) {
            const std::string line =
                "{\"schema\":1,\"bench\":\"B\",\"seq\":" + std::to_string(seq) + ",\"unit_id\":\"" +
                unit + "\",\"result\":\"ok\"}";
            lines.push_back(stationLine("B", seq, line));
        }
        return lines;
    };
    const std::vector<StationLine> shared = streamLines(kStreamA, "B", 1, kLines);
    const std::vector<StationLine> mine[2] = {streamless("first"), streamless("second")};
    bool ok[2] = {true, true};
    auto collector = [&](int who) {
        PgConnection db;
        ok[who] = db.connect(url).ok();
        for (int at = 0; ok[who] && at < kLines; at += kPage) {
            for (const auto* lines : {&mine[who], &shared}) {
                PageStored stored;
                StationPage page = pageOf(
                    std::vector<StationLine>(lines->begin() + at, lines->begin() + at + kPage));
                ok[who] = storePage(db, who == 0 ? "http://a:1" : "http://b:2", page, stored).ok();
            }
        }
    };
    std::thread first(collector, 0), second(collector, 1);
    first.join();
    second.join();
    ASSERT_TRUE(ok[0] && ok[1]);
    EXPECT_EQ(scalar(setup, "SELECT count(*) FROM record_lines WHERE stream IS NULL"),
              std::to_string(kLines));
    EXPECT_EQ(scalar(setup, "SELECT count(*) FROM record_quarantine"), std::to_string(kLines))
        << "every clashing line kept, once";
    EXPECT_EQ(scalar(setup, "SELECT count(*) FROM record_lines WHERE stream IS NOT NULL"),
              std::to_string(kLines))
        << "identical lines stored once";
    EXPECT_EQ(scalar(setup, "SELECT sum(ok) FROM record_totals"), std::to_string(2 * kLines));
}

// The tables as version 1 made them.
const char* const kVersion1[] = {
    "CREATE TABLE pxr7_schema (version integer NOT NULL)",
    "INSERT INTO pxr7_schema VALUES (1)",
    "CREATE TABLE record_lines (bench text NOT NULL, seq bigint NOT NULL,"
    " arrival bigint GENERATED ALWAYS AS IDENTITY, finished text NOT NULL, day text NOT NULL,"
    " lane text NOT NULL, unit_id text, lead_serial text NOT NULL, result text NOT NULL,"
    " host text, line text NOT NULL, station text NOT NULL,"
    " collected timestamptz NOT NULL DEFAULT now(), PRIMARY KEY (bench, seq))",
    "CREATE TABLE record_totals (bench text NOT NULL, lane text NOT NULL, day text NOT NULL,"
    " ok bigint NOT NULL DEFAULT 0, current bigint NOT NULL DEFAULT 0,"
    " failed bigint NOT NULL DEFAULT 0, PRIMARY KEY (bench, lane, day))",
    "CREATE TABLE collector_stations (station text PRIMARY KEY, bench text,"
    " next_since bigint NOT NULL, last_seen timestamptz, last_problem text)",
    "CREATE TABLE record_clashes (bench text NOT NULL, seq bigint NOT NULL,"
    " station text NOT NULL, line text NOT NULL, collected timestamptz NOT NULL DEFAULT now())",
    "INSERT INTO record_lines (bench, seq, finished, day, lane, lead_serial, result, line,"
    " station) SELECT 'B', s, '2026-12-01T10:00:00Z', '2026-12-01', 'A', 'PX', 'ok',"
    " '{\"schema\":1,\"bench\":\"B\",\"seq\":' || s || ',\"result\":\"ok\"}', 'http://s:1'"
    " FROM generate_series(1, 50) s",
    "INSERT INTO record_totals VALUES ('B', 'A', '2026-12-01', 50, 0, 0)",
    "INSERT INTO collector_stations VALUES ('http://s:1', 'B', 50, now(), NULL)",
    "INSERT INTO record_clashes VALUES ('B', 7, 'http://t:2', '{\"seq\":7,\"x\":1}', now())",
};

TEST_F(Quarantine, AVersion1DatabaseIsBroughtUpInPlace) {
    PXR7_FRESH_DATABASE(url, "pxr7_migrate");
    PgConnection db;
    ASSERT_TRUE(db.connect(url).ok());
    for (const char* statement : kVersion1) {
        ASSERT_TRUE(db.exec(statement).ok()) << statement;
    }
    const SchemaCheck check = ensureSchema(db);
    ASSERT_EQ(check.outcome, SchemaOutcome::Ready) << check.status.message;
    EXPECT_EQ(check.version, kSchemaVersion);
    EXPECT_EQ(scalar(db, "SELECT max(version) || '/' || count(*) FROM pxr7_schema"), "2/1");
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM record_lines WHERE stream IS NULL"), "50");
    EXPECT_EQ(scalar(db, "SELECT reason FROM record_quarantine WHERE seq = 7"), kSeqRepeats);
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM record_clashes"), "1") << "still readable";
    std::int64_t since = 0;
    std::string stream;
    ASSERT_TRUE(storedNextSince(db, "http://s:1", since, stream).ok());
    EXPECT_EQ(since, 50);
    EXPECT_EQ(stream, "");
    // Old lines again change nothing; a stream's lines and a clash with an old line go in.
    std::vector<StationLine> lines = streamLines(kStreamA, "B", 1, 5);
    lines.insert(lines.begin(),
                 stationLine("B", 3, R"({"schema":1,"bench":"B","seq":3,"result":"ok"})"));
    lines.insert(lines.begin() + 1,
                 stationLine("B", 4, R"({"schema":1,"bench":"B","seq":4,"r":1})"));
    StationPage page;
    page.lines = lines;
    const PageStored stored = store(db, page, "http://s:1");
    EXPECT_EQ(stored.inserted, 5u);
    ASSERT_EQ(stored.newStreams.size(), 1u) << "a known bench's new record";
    EXPECT_EQ(stored.newStreams[0].stream, kStreamA);
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM record_lines"), "55");
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM record_quarantine"), "2");
    EXPECT_EQ(ensureSchema(db).version, kSchemaVersion) << "again, harmlessly";
}

TEST_F(Quarantine, TheStoredChainIsWalkedAsTheFileIs) {
    PXR7_FRESH_DATABASE(url, "pxr7_verify_stored");
    PgConnection db;
    ASSERT_TRUE(open(db, url));
    const std::vector<StationLine> lines = streamLines(kStreamA, "B", 1, 10);
    ASSERT_EQ(store(db, pageOf(lines), "http://one:1").inserted, 10u);
    const std::string stream = "stream = '" + kStreamA + "'";
    ASSERT_TRUE(db.exec("UPDATE record_lines SET line = replace(line, '\"U4\"', '\"U44\"')"
                        " WHERE seq = 4 AND " +
                        stream)
                    .ok());
    ASSERT_TRUE(db.exec("DELETE FROM record_lines WHERE seq = 7 AND " + stream).ok());
    RecordEntry entry;
    std::string host;
    parseRecordLine(lines[8].bytes, entry, host);
    entry.seq = 20;
    entry.prev = lineDigest(lines[8].bytes); // as if it came after 9
    ASSERT_TRUE(db.exec("INSERT INTO record_lines (bench, seq, finished, day, lane, lead_serial,"
                        " result, line, station, stream) VALUES ('B', 20, '', '', '', '', 'ok', $1,"
                        " 'x', $2)",
                        {recordLine(entry), kStreamA})
                    .ok());
    ChainWalk walk;
    ASSERT_TRUE(forEachLineByStream(db, [&](const std::string& line) { walk.add(line, 0); }).ok());
    const ChainReport report = walk.finish();
    ASSERT_EQ(report.findings.size(), 3u);
    const std::pair<ChainBreak, std::int64_t> expected[] = {
        {ChainBreak::Changed, 4}, {ChainBreak::Removed, 7}, {ChainBreak::Inserted, 20}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(report.findings[i].kind, expected[i].first) << report.findings[i].why;
        EXPECT_EQ(report.findings[i].seq, expected[i].second) << report.findings[i].why;
    }
}

} // namespace
} // namespace pxr7
