// The summary over the database: what the stations' record files would give, bench by bench,
// read back in order of finishing, however the lines arrived.
#include "db_rig.h"
#include "history.h"
#include "record.h"
#include "record_lines.h"
#include "schema.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace pxr7 {
namespace {

struct Stored {
    std::string finished, bench, unit, line;
};

Stored storedLine(int i) {
    RecordEntry entry;
    entry.bench = "bench-" + std::to_string(i % 3);
    entry.seq = i / 3 + 1;
    entry.command = "station";
    entry.finished = "2026-12-0" + std::to_string(1 + i % 5) + "T10:00:" + (i < 10 ? "0" : "") +
                     std::to_string(i) + "Z";
    entry.leadSerial = "PX7A000" + std::to_string(i % 4);
    entry.unitId = i % 7 == 0 ? "U-'; DROP TABLE record_lines; --" : "";
    entry.result = i % 5 == 0 ? "handshake_failed" : "ok";
    return {entry.finished, entry.bench, entry.unitId, recordLine(entry)};
}

void store(PgConnection& db, const Stored& s, int seq) {
    const DbStatus status = db.exec(
        "INSERT INTO record_lines (bench, seq, finished, day, lane, unit_id, lead_serial, result,"
        " line, station) VALUES ($1, $2, $3, '', '', $4, '', '', $5, 'http://test')",
        {s.bench, std::to_string(seq), s.finished, s.unit.empty() ? SqlParam() : s.unit, s.line});
    ASSERT_TRUE(status.ok()) << status.message;
}

std::string summaryText(const RecordHistory& history) {
    std::ostringstream text;
    text << history.entries << '/' << history.unreadable;
    for (const LeadHistory& lead : history.leads) {
        text << ' ' << lead.serial << ':' << lead.ok << ',' << lead.failed << ','
             << lead.last.finished;
    }
    for (const RecordEntry& entry : history.last) {
        text << ' ' << entry.bench << '#' << *entry.seq;
    }
    for (const BenchHistory& bench : history.benches) {
        text << " [" << bench.name << ':' << bench.ok << ',' << bench.current << ','
             << bench.failed;
        for (const LeadHistory& lead : bench.leads) {
            text << ' ' << lead.serial << ':' << lead.ok << ',' << lead.failed;
        }
        text << ']';
    }
    return text.str();
}

TEST(StoredRecord, SumsUpEveryBenchAsItsFilesWouldInOrderOfFinishing) {
    PXR7_FRESH_DATABASE(url, "pxr7_record_lines_test");
    PgConnection db;
    ASSERT_TRUE(db.connect(url).ok());
    StoredRecord found = StoredRecord::Found;
    int version = -1;
    ASSERT_TRUE(findStoredRecord(db, found, version).ok());
    EXPECT_EQ(found, StoredRecord::None) << "no collector has made the tables yet";
    ASSERT_EQ(ensureSchema(db).outcome, SchemaOutcome::Ready);
    std::vector<Stored> lines;
    for (int i = 0; i < 40; ++i) {
        lines.push_back(storedLine(i));
    }
    // Arrived bench by bench, newest first: the summary must not depend on it.
    for (int i = 39; i >= 0; --i) {
        store(db, lines[i], i);
    }
    std::sort(lines.begin(), lines.end(),
              [](const Stored& a, const Stored& b) { return a.finished < b.finished; });
    const std::string hostile = "U-'; DROP TABLE record_lines; --";
    const std::pair<std::string, std::string> filters[] = {
        {"", ""},        {hostile, ""},        {"nobody", ""},
        {"", "bench-1"}, {hostile, "bench-0"}, {"", "bench-9"}};
    for (const auto& [unit, bench] : filters) {
        std::string file;
        for (const Stored& s : lines) {
            file += s.line + "\n";
        }
        std::istringstream fileStream(file);
        RecordSummer summer(5, unit, bench);
        ASSERT_TRUE(
            forEachStoredLine(db, unit, bench, [&](const std::string& l) { summer.add(l); }).ok());
        const RecordHistory history = summer.finish();
        EXPECT_EQ(summaryText(history), summaryText(summariseRecord(fileStream, 5, unit, bench)))
            << unit << " / " << bench;
        const auto wanted = std::count_if(lines.begin(), lines.end(), [&](const Stored& s) {
            return (unit.empty() || s.unit == unit) && (bench.empty() || s.bench == bench);
        });
        EXPECT_EQ(history.entries, wanted) << unit << " / " << bench;
        int inBenches = 0;
        for (const BenchHistory& each : history.benches) {
            EXPECT_TRUE(bench.empty() || each.name == bench) << each.name;
            inBenches += each.ok + each.current + each.failed;
        }
        EXPECT_EQ(inBenches, wanted) << "every line counted in its bench, once";
    }
    ASSERT_TRUE(db.exec("UPDATE pxr7_schema SET version = 3").ok());
    ASSERT_TRUE(findStoredRecord(db, found, version).ok());
    EXPECT_EQ(found, StoredRecord::Newer);
    EXPECT_EQ(version, 3);
}

} // namespace
} // namespace pxr7
