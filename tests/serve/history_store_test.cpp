// The database's history: each filter, each page and the totals (from record_totals or counted
// over the matches) against the same lines worked out here; hostile texts back byte for byte.
#include "db_rig.h"
#include "history_store.h"
#include "serve_fill.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace pxr7 {
namespace {

using test::FillLine;

std::vector<FillLine> threeBenches() {
    const char* benches[] = {"A", "B \"quoted\" <b>x</b>", "C"};
    const char* results[] = {"ok", "current", "no_handshake", "ok"};
    std::vector<FillLine> lines;
    for (int b = 0; b < 3; ++b) {
        for (int i = 0; i < 9; ++i) {
            const std::string finished = i == 8 ? ""
                                                : "2026-12-0" + std::to_string(1 + i % 3) +
                                                      "T10:0" + std::to_string(b) + ":00Z";
            lines.push_back({benches[b], 100 + i, finished, i % 2 ? "L1" : "L2",
                             i % 4 ? "U" + std::to_string(i % 3) : "", results[(i + b) % 4],
                             "{\"n\":" + std::to_string(b * 100 + i) + "}"});
        }
    }
    return lines;
}

StoreFilter pick(std::string bench = "", std::string result = "", std::string lane = "",
                 std::string unit = "", std::string from = "", std::string to = "") {
    return {bench, result, lane, unit, from, to};
}

bool matches(const FillLine& l, const StoreFilter& f) {
    const std::string day = l.finished.substr(0, std::min<std::size_t>(10, l.finished.size()));
    const bool failed = l.result != "ok" && l.result != "current";
    return (f.bench.empty() || l.bench == f.bench) && (f.lane.empty() || l.lane == f.lane) &&
           (f.unit.empty() || l.unit == f.unit) &&
           (f.result.empty() || l.result == f.result || (f.result == "failed" && failed)) &&
           (f.from.empty() || day >= f.from) && (f.to.empty() || (!day.empty() && day <= f.to));
}

TEST(HistoryStore, FiltersPagesAndTotalsAgreeWithTheLinesTheyCover) {
    PXR7_FRESH_DATABASE(url, "pxr7_history_store");
    PgConnection db;
    ASSERT_TRUE(test::openWithTables(db, url));
    const std::vector<FillLine> all = threeBenches();
    for (const FillLine& line : all) {
        ASSERT_TRUE(test::fill(db, line));
    }
    HistoryStore store(db);
    struct Case {
        StoreFilter filter;
        int page, perPage;
    };
    const Case cases[] = {
        {pick(), 1, 50},
        {pick(), 2, 10},
        {pick("C"), 1, 4},
        {pick("C"), 3, 4},
        {pick("A", "failed"), 1, 50},
        {pick("", "ok", "L1"), 1, 3},
        {pick("", "", "", "U1"), 1, 50},
        {pick("", "", "L2", "", "2026-12-02"), 1, 50},
        {pick("B \"quoted\" <b>x</b>", "", "", "", "", "2026-12-02"), 1, 50},
        {pick("", "", "", "", "", "2026-12-02"), 1, 50},
        {pick("nobody"), 1, 50},
    };
    for (const Case& c : cases) {
        const std::string label = c.filter.bench + "|" + c.filter.result + "|" + c.filter.lane +
                                  "|" + std::to_string(c.page);
        std::vector<FillLine> expected;
        std::copy_if(all.begin(), all.end(), std::back_inserter(expected),
                     [&](const FillLine& l) { return matches(l, c.filter); });
        std::sort(expected.begin(), expected.end(), [](const FillLine& x, const FillLine& y) {
            return std::tie(x.finished, x.bench, x.seq) > std::tie(y.finished, y.bench, y.seq);
        });
        StorePage found;
        ASSERT_TRUE(store.page(c.filter, c.page, c.perPage, found).ok()) << label;
        EXPECT_EQ(found.total, static_cast<std::int64_t>(expected.size())) << label;
        const std::size_t first = static_cast<std::size_t>((c.page - 1) * c.perPage);
        const std::size_t count =
            std::min<std::size_t>(c.perPage, expected.size() - std::min(first, expected.size()));
        ASSERT_EQ(found.lines.size(), count) << label;
        for (std::size_t i = 0; i < count; ++i) {
            EXPECT_EQ(found.lines[i].line, expected[first + i].line) << label << " #" << i;
            EXPECT_EQ(found.lines[i].bench, expected[first + i].bench) << label;
        }
        std::int64_t laneSum = 0;
        for (const StoreCounts& lane : found.lanes) {
            laneSum += lane.ok + lane.current + lane.failed;
        }
        EXPECT_EQ(laneSum, found.total) << label;
        EXPECT_EQ(found.benches.size(), 3u) << label;
    }
}

TEST(HistoryStore, HostileTextsComeBackByteForByte) {
    PXR7_FRESH_DATABASE(url, "pxr7_history_hostile");
    PgConnection db;
    ASSERT_TRUE(test::openWithTables(db, url));
    const std::string big = "{\"unit_id\":\"" + std::string(100 * 1024, 'x') + "\"}";
    const std::string marked =
        R"({"unit_id":"<script>alert('x')</script>","q":"'; DROP TABLE record_lines; --"})";
    const FillLine hostile[] = {
        {"it's \"bench\"", 1, "2026-12-01T00:00:00Z", "<img src=x>", "'; --", "ok", marked},
        {"big", 2, "2026-12-01T00:00:00Z", "L", "U", "ok", big},
    };
    HistoryStore store(db);
    for (const FillLine& line : hostile) {
        ASSERT_TRUE(test::fill(db, line));
        std::optional<StoreLine> found;
        ASSERT_TRUE(store.entry(line.bench, line.seq, found).ok());
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(found->line, line.line);
        StoreFilter filter;
        filter.bench = line.bench;
        filter.lane = line.lane;
        filter.unit = line.unit;
        StorePage page;
        ASSERT_TRUE(store.page(filter, 1, 50, page).ok());
        ASSERT_EQ(page.lines.size(), 1u) << line.bench;
        EXPECT_EQ(page.lines[0].line, line.line);
    }
}

} // namespace
} // namespace pxr7
