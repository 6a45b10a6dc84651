// The collector against a station served in process: a bench whose record starts again (a new
// PC, a state folder lost, a record replaced) is collected from its new first line and said so,
// never taken for lines already stored.
#include "collector.h"
#include "dashboard_routes.h"
#include "db_rig.h"
#include "history_api.h"
#include "http_server.h"
#include "pg_connection.h"
#include "record.h"
#include "rig_files.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace pxr7 {
namespace {

class Events : public CollectObserver {
public:
    void collectEvent(const CollectEvent& event) override { events.push_back(event); }
    std::size_t count(CollectEventKind kind) const {
        std::size_t n = 0;
        for (const CollectEvent& event : events) {
            n += event.kind == kind ? 1 : 0;
        }
        return n;
    }
    std::vector<CollectEvent> events;
};

struct StationRig {
    StationRig() {
        std::string problem;
        EXPECT_TRUE(server.start(ServeAddress{}, problem)) << problem;
    }
    void append(int lines, const std::string& bench = "B", const std::string& unit = "") {
        for (int i = 0; i < lines; ++i) {
            RecordEntry entry;
            entry.bench = bench;
            entry.unitId = unit;
            entry.result = "ok";
            entry.finished = "2026-12-08T09:30:05Z";
            std::string problem;
            ASSERT_TRUE(appendNumberedRecord(record, counter, entry, problem)) << problem;
        }
    }
    // A new PC: neither the record nor the counter is there any more.
    void startAgain() {
        std::remove(record.c_str());
        std::remove(counter.c_str());
    }
    simrig::ScratchFolder folder;
    std::string record = folder.path("record.jsonl"), counter = folder.path("record.seq");
    HistoryApi history{record};
    DashboardRoutes routes{history, nullptr};
    DashboardServer server{routes, nullptr};
};

std::string scalar(PgConnection& db, const std::string& sql) {
    PgResult result;
    EXPECT_TRUE(db.exec(sql, {}, &result).ok()) << sql;
    return result.rows() > 0 ? result.text(0, 0) : "";
}

TEST(CollectStreams, ARecordThatStartsAgainIsCollectedFromItsFirstLine) {
    PXR7_FRESH_DATABASE(url, "pxr7_collect_streams");
    StationRig station;
    CollectSettings settings;
    settings.stations = {station.server.url()};
    settings.database = url;
    settings.once = true;
    PgConnection db;
    ASSERT_TRUE(db.connect(url).ok());
    const struct {
        const char* name;
        bool startAgain;
        int lines;
        const char* stored; // in the database afterwards
        std::size_t newStreams;
    } rounds[] = {
        {"the first record", false, 50, "50", 0},
        {"a new record of 20 lines, seq 1 to 20", true, 20, "70", 1},
        {"grown to seq 70", false, 50, "120", 0},
        {"nothing new", false, 0, "120", 0},
        {"again, to seq 70 at once", true, 70, "190", 1},
    };
    for (const auto& round : rounds) {
        if (round.startAgain) {
            station.startAgain();
        }
        station.append(round.lines);
        Events events;
        const CollectResult result = runCollector(settings, events, {});
        EXPECT_EQ(result.outcome, CollectOutcome::AllRead) << round.name << ": " << result.reason;
        EXPECT_EQ(scalar(db, "SELECT count(*) FROM record_lines"), round.stored) << round.name;
        EXPECT_EQ(events.count(CollectEventKind::NewStream), round.newStreams) << round.name;
        EXPECT_EQ(events.count(CollectEventKind::Clash), 0u) << round.name;
        EXPECT_EQ(events.count(CollectEventKind::Quarantined), 0u) << round.name;
    }
    EXPECT_EQ(scalar(db, "SELECT count(DISTINCT stream) FROM record_lines"), "3");
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM record_quarantine"), "0");
}

TEST(CollectStreams, OneLineTooLongForAnIndexGoesAsideAndEveryOtherLineIsStored) {
    PXR7_FRESH_DATABASE(url, "pxr7_collect_long_line");
    StationRig first, second;
    first.append(5);
    first.append(1, std::string(4000, 'b'), std::string(4000, 'u'));
    first.append(5);
    second.append(10, "C");
    CollectSettings settings;
    settings.stations = {first.server.url(), second.server.url()};
    settings.database = url;
    settings.once = true;
    Events events;
    const CollectResult result = runCollector(settings, events, {});
    EXPECT_EQ(result.outcome, CollectOutcome::AllRead) << result.reason;
    EXPECT_EQ(events.count(CollectEventKind::DatabaseAway), 0u);
    ASSERT_EQ(events.count(CollectEventKind::Quarantined), 1u);
    PgConnection db;
    ASSERT_TRUE(db.connect(url).ok());
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM record_lines"), "20");
    EXPECT_EQ(scalar(db, "SELECT seq || ' ' || reason FROM record_quarantine"),
              "6 its bench is longer than 200 bytes");
}

} // namespace
} // namespace pxr7
