// The overview of several stations: a station's snapshot read into its row, a station that is
// away said so (since its first failure, with the reason) and recovered, and the poller over
// real sockets, where a station that never answers holds up neither the others nor a page.
#include "dashboard_routes.h"
#include "history_api.h"
#include "http_server.h"
#include "station_overview.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace pxr7 {
namespace {

const char kSnapshot[] =
    R"({"schema":1,"header":{"bench":"Line <b>3</b> \"east\"","host":"h","totals":{"ok":7,)"
    R"("current":2,"failed":1},"yield":0.9,"meters_per_hour":41.5,"ended":false},"lanes":[)"
    R"({"state":"running","tone":"working"},{"state":"waiting","tone":"quiet"},)"
    R"({"state":"looking","tone":"quiet"},{"state":"outcome","tone":"bad"}],"outcomes":[]})";

TEST(StationRow, ReadsSnapshotsAndSaysSinceWhenAStationIsAway) {
    struct Step {
        const char* answer; // nullptr: no answer
        const char* now;
        bool answers;
        const char* awaySince;
    };
    const Step steps[] = {
        {nullptr, "T1", false, "T1"},
        {nullptr, "T2", false, "T1"}, // still away since the first failure
        {kSnapshot, "T3", true, ""},
        {"<html>not json</html>", "T4", false, "T4"},
        {R"({"header":{},"lanes":{}})", "T5", false, "T4"},
        {kSnapshot, "T6", true, ""},
    };
    StationRow row;
    row.station = "http://127.0.0.1:1";
    for (const Step& step : steps) {
        if (step.answer != nullptr) {
            takeSnapshot(row, step.answer, step.now);
        } else {
            markAway(row, "refused", step.now);
        }
        EXPECT_EQ(row.answers, step.answers) << step.now;
        EXPECT_EQ(row.awaySince, step.awaySince) << step.now;
        EXPECT_EQ(row.problem.empty(), step.answers) << step.now;
    }
    const JsonValue json = parseJsonLine(overviewJson({row, StationRow{}}));
    const JsonValue& seen = json["stations"][0];
    EXPECT_EQ(seen["bench"], "Line <b>3</b> \"east\"");
    EXPECT_EQ(seen["last_seen"], "T6");
    EXPECT_EQ(seen["lanes"], parseJsonLine(R"({"count":4,"sending":1,"waiting":2,"failed":1})"));
    EXPECT_EQ(seen["totals"]["ok"], 7);
    EXPECT_EQ(seen["yield"], 0.9);
    EXPECT_EQ(seen["meters_per_hour"], 41.5);
    EXPECT_TRUE(json["stations"][1]["answers"].is_null()); // not asked yet
}

// A port that listens but never answers: connections wait until the asker gives up.
struct Silent {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    unsigned short port = 0;
    Silent() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(fd, 8);
        socklen_t size = sizeof address;
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
        port = ntohs(address.sin_port);
    }
    ~Silent() { close(fd); }
};

TEST(StationOverview, AStationAwayHoldsUpNeitherTheOthersNorAPage) {
    LiveFeedSettings settings;
    settings.bench = "Bench A";
    LiveFeed feed(settings);
    HistoryApi history("/nonexistent/record.jsonl");
    DashboardRoutes routes(history, &feed);
    DashboardServer station(routes, &feed);
    std::string problem;
    ASSERT_TRUE(station.start(ServeAddress{}, problem)) << problem;
    Silent silent;
    std::string refusedUrl;
    {
        Silent closed; // its port, free again once closed
        refusedUrl = "http://127.0.0.1:" + std::to_string(closed.port);
    }
    OverviewSettings polling;
    polling.interval = std::chrono::milliseconds(100);
    polling.timeout = std::chrono::milliseconds(2500);
    const std::string stationUrl = "http://127.0.0.1:" + std::to_string(station.port());
    StationOverview overview(
        {"http://127.0.0.1:" + std::to_string(silent.port), stationUrl, refusedUrl}, polling);
    overview.start();
    const auto begun = std::chrono::steady_clock::now();
    std::vector<StationRow> rows;
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        rows = overview.rows();
    } while ((!rows[1].answers || !rows[2].asked) &&
             std::chrono::steady_clock::now() - begun < std::chrono::milliseconds(1500));
    EXPECT_FALSE(rows[0].asked); // still waiting for the silent one
    EXPECT_TRUE(rows[1].answers);
    EXPECT_EQ(rows[1].snapshotSummary["bench"], "Bench A");
    EXPECT_TRUE(rows[2].asked);
    EXPECT_FALSE(rows[2].answers);
    EXPECT_FALSE(rows[2].problem.empty());
    EXPECT_FALSE(rows[2].awaySince.empty());
    // The overview is the first page where it is served, and its API answers at once.
    DashboardRoutes served(history, nullptr, &overview);
    served.listeningOn(false);
    EXPECT_NE(served.route({"GET", "/", "127.0.0.1", "", "", ""}).reply.body.find("PXR7 benches"),
              std::string::npos);
    const JsonValue api =
        parseJsonLine(served.route({"GET", "/api/overview", "127.0.0.1", "", "", ""}).reply.body);
    EXPECT_EQ(api["stations"][1]["bench"], "Bench A");
    EXPECT_EQ(api["stations"][2]["answers"], false);
    // A stop does not wait for the silent station's answer.
    const auto stopping = std::chrono::steady_clock::now();
    overview.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::milliseconds(1000));
    station.stop();
}

} // namespace
} // namespace pxr7
