// The benches' figures on pxr7 serve's overview: the window's first day across months, years
// and leap days; a bench's falling lane named with its figures; the figures kept, with the
// reason, when the database cannot be read again; and a page never waiting for the database.
#include "bench_figures.h"

#include <gtest/gtest.h>

#include <future>

namespace pxr7 {
namespace {

class FixedStations : public OverviewSource {
public:
    std::string overviewJson() override { return R"({"schema":1,"stations":[]})"; }
};

TEST(BenchFigures, TheWindowStartsOnTheRightDay) {
    const struct {
        const char* day;
        int back;
        const char* first;
    } cases[] = {
        {"2026-12-09", 6, "2026-12-03"}, {"2026-03-02", 6, "2026-02-24"},
        {"2024-03-02", 6, "2024-02-25"}, {"2027-01-03", 6, "2026-12-28"},
        {"2026-12-09", 0, "2026-12-09"}, {"not a day", 6, "not a day"},
        {"2000-03-01", 1, "2000-02-29"}, {"1900-03-01", 1, "1900-02-28"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dayBefore(c.day, c.back), c.first) << c.day;
    }
}

BenchSummary risingBench() {
    BenchSummary bench;
    bench.bench = "Line <b>3</b>";
    bench.summary.counts = {124, 0, 11};
    bench.summary.lanes = {{"F", {25, 0, 10}, false}, {"A", {99, 0, 1}, false}};
    bench.summary.medianSeconds = 33;
    finishSummary(bench.summary);
    return bench;
}

TEST(BenchFigures, EachBenchNamesItsFallingLaneAndKeepsItsFiguresWhenTheDatabaseIsAway) {
    FixedStations stations;
    bool away = false;
    std::string asked;
    BenchFiguresSettings settings;
    settings.now = [] { return std::string("2026-12-09T10:00:00Z"); };
    settings.ask = [&](const std::string& from, std::vector<BenchSummary>& out,
                       std::string& problem) {
        asked = from;
        if (away) {
            problem = "the database cannot be reached now";
            return false;
        }
        out.push_back(risingBench());
        return true;
    };
    BenchFigures figures(stations, settings);
    EXPECT_TRUE(parseJsonLine(figures.overviewJson())["benches"].is_null());
    figures.refresh();
    JsonValue json = parseJsonLine(figures.overviewJson());
    EXPECT_EQ(asked, "2026-12-03");
    EXPECT_EQ(json["stations"], JsonValue::array());
    EXPECT_EQ(json["benches"]["from"], "2026-12-03");
    EXPECT_TRUE(json["benches"]["problem"].is_null());
    const JsonValue& bench = json["benches"]["benches"][0];
    EXPECT_EQ(bench["bench"], "Line <b>3</b>");
    EXPECT_EQ(bench["yield"], 0.919);
    EXPECT_EQ(bench["median_seconds"], 33);
    ASSERT_EQ(bench["falling"].size(), 1u);
    EXPECT_EQ(bench["falling"][0]["lane"], "F");
    EXPECT_EQ(bench["falling"][0]["yield"], 0.714);
    EXPECT_EQ(bench["falling"][0]["meters"], 35);
    away = true;
    figures.refresh();
    json = parseJsonLine(figures.overviewJson());
    EXPECT_EQ(json["benches"]["benches"][0]["bench"], "Line <b>3</b>");
    EXPECT_EQ(json["benches"]["problem"], "the database cannot be reached now");
}

TEST(BenchFigures, APageIsAnsweredWhileTheDatabaseIsSlow) {
    FixedStations stations;
    std::promise<void> entered, release;
    std::shared_future<void> released = release.get_future().share();
    bool once = false; // only the figures' thread reads and sets it
    BenchFiguresSettings settings;
    settings.ask = [&, released](const std::string&, std::vector<BenchSummary>& out, std::string&) {
        if (!once) {
            once = true;
            entered.set_value();
        }
        released.wait();
        out.push_back(risingBench());
        return true;
    };
    BenchFigures figures(stations, settings);
    figures.start();
    entered.get_future().wait(); // the thread is inside the database's answer
    const JsonValue json = parseJsonLine(figures.overviewJson());
    EXPECT_TRUE(json["benches"].is_null());
    EXPECT_EQ(json["schema"], 1);
    release.set_value();
    figures.stop();
}

} // namespace
} // namespace pxr7
