// The dashboard's rules: what each request gets, that the feed resumes without losing an
// outcome, and, over real loopback sockets, that the server keeps its limits and that a client
// that stops reading is dropped without holding up the station.
#include "server_rig.h"

#include <chrono>

namespace pxr7 {
namespace {

LaneTag laneTag(int number, const std::string& serial) {
    LaneTag tag;
    tag.number = number;
    tag.serial = serial;
    tag.index = number - 1;
    return tag;
}

MeterRun okRun() {
    MeterRun run;
    run.endWith(Outcome::Ok);
    run.versionBefore = "PXR7 V1.02";
    run.versionAfter = "PXR7 V1.03";
    run.attempts = 1;
    run.recordsSent = run.recordsTotal = 314;
    return run;
}

TEST(ServeAddress, TakesWhatPeopleWriteAndRefusesTheRest) {
    const struct {
        const char* text;
        bool ok;
        const char* host;
        unsigned short port;
    } cases[] = {
        {"8470", true, "127.0.0.1", 8470},
        {"0", true, "127.0.0.1", 0},
        {"0.0.0.0:8470", true, "0.0.0.0", 8470},
        {"[::1]:0", true, "::1", 0},
        {"localhost:80", true, "localhost", 80},
        {"65536", false, "", 0},
        {"", false, "", 0},
        {":8470", false, "", 0},
        {"::1:8470", false, "", 0},
        {"[::1:8470", false, "", 0},
        {"host:", false, "", 0},
        {"-1", false, "", 0},
        {"84a0", false, "", 0},
    };
    for (const auto& c : cases) {
        ServeAddress address;
        std::string problem;
        EXPECT_EQ(parseServeAddress(c.text, address, problem), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(address.host, c.host) << c.text;
            EXPECT_EQ(address.port, c.port) << c.text;
        } else {
            EXPECT_FALSE(problem.empty()) << c.text;
        }
    }
}

TEST(DashboardRoutes, ReadOnlyAnsweringOnlyToThisMachinesNamesOnLoopback) {
    HistoryApi history("/nonexistent/record.jsonl");
    LiveFeed feed(LiveFeedSettings{});
    DashboardRoutes routes(history, &feed);
    routes.listeningOn(true);
    const struct {
        const char* method;
        const char* target;
        const char* host;
        int status;
        bool stream;
    } cases[] = {
        {"GET", "/", "127.0.0.1:8470", 200, false},
        {"HEAD", "/", "localhost:8470", 200, false},
        {"GET", "/api/snapshot", "[::1]:8470", 200, false},
        {"GET", "/api/events", "127.0.0.1:8470", 200, true},
        {"POST", "/", "127.0.0.1:8470", 405, false},
        {"PUT", "/api/snapshot", "127.0.0.1:8470", 405, false},
        {"DELETE", "/api/history", "127.0.0.1:8470", 405, false},
        {"GET", "/", "attacker.example:8470", 421, false},
        {"GET", "/", "127.0.0.1:9999", 200, false}, // a port forwarded over SSH
        {"GET", "/", "localhost", 200, false},
        {"GET", "/", "127.0.0.1.attacker.example:8470", 421, false},
        {"GET", "/", "localhost.:8470", 421, false},
        {"GET", "/", "", 421, false},
        {"GET", "/static/../live.html", "127.0.0.1:8470", 404, false},
        {"GET", "/static/live.html", "127.0.0.1:8470", 404, false},
        {"GET", "/static/nothing.js", "127.0.0.1:8470", 404, false},
        {"GET", "/%zz", "127.0.0.1:8470", 400, false},
        {"GET", "/api/nothing", "127.0.0.1:8470", 404, false},
    };
    for (const auto& c : cases) {
        const Routed routed = routes.route({c.method, c.target, c.host, "", "", ""});
        EXPECT_EQ(routed.eventStream, c.stream) << c.method << " " << c.target << " " << c.host;
        if (!c.stream) {
            EXPECT_EQ(routed.reply.status, c.status)
                << c.method << " " << c.target << " " << c.host;
        }
        bool policy = false;
        for (const auto& header : routed.reply.headers) {
            policy = policy || header.first == "Content-Security-Policy";
        }
        EXPECT_TRUE(policy) << c.target;
    }
    routes.guardWith({"bench-3.local"}, "");
    routes.listeningOn(false); // on the bench network: a name it was given
    EXPECT_EQ(routes.route({"GET", "/", "bench-3.local:8470", "", "", ""}).reply.status, 200);
    DashboardRoutes historyAlone(history, nullptr);
    historyAlone.guardWith({"x"}, "");
    historyAlone.listeningOn(false);
    EXPECT_EQ(historyAlone.route({"GET", "/", "x", "", "", ""}).reply.status, 303);
    EXPECT_EQ(historyAlone.route({"GET", "/api/snapshot", "x", "", "", ""}).reply.status, 404);
    EXPECT_FALSE(historyAlone.route({"GET", "/api/events", "x", "", "", ""}).eventStream);
}

TEST(LiveFeed, AClientThatComesBackLosesNoOutcome) {
    LiveFeedSettings settings;
    settings.keptEvents = 8;
    LiveFeed feed(settings);
    const LaneTag lane = laneTag(1, "PX7A0000");
    feed.laneAppeared(lane);
    FeedBatch first = feed.start("");
    ASSERT_EQ(first.events.size(), 1u);
    EXPECT_EQ(first.events[0].name, "snapshot");
    feed.meterArrived(lane, "PXR7 V1.02");
    feed.outcome(lane, okRun(), StationTotals{1, 0, 0}, "");
    // Back within what is kept: exactly the events missed, in order.
    const FeedBatch resumed = feed.start(feed.eventId(first.next));
    const FeedBatch missed = feed.after(resumed.next, 100);
    ASSERT_EQ(missed.events.size(), 2u);
    EXPECT_EQ(missed.events[0].name, "meter_arrived");
    EXPECT_EQ(missed.events[1].name, "outcome");
    // Back after more than is kept, or from another run: a snapshot that holds every outcome.
    for (int i = 0; i < 20; ++i) {
        feed.progress(lane, 10 * (i + 1), 314);
    }
    for (const std::string& id :
         {feed.eventId(first.next), std::string("other.3"), std::string("garbage")}) {
        const FeedBatch again = feed.start(id);
        ASSERT_EQ(again.events.size(), 1u) << id;
        EXPECT_EQ(again.events[0].name, "snapshot");
        EXPECT_NE(again.events[0].data.find("\"outcomes\":[{\"lane\":1"), std::string::npos);
    }
    // A client further behind than its bound gets the state afresh, not every event it missed,
    // and goes on from the last event.
    const FeedBatch behind = feed.after(first.next, 3);
    EXPECT_TRUE(behind.lagging);
    ASSERT_EQ(behind.events.size(), 1u);
    EXPECT_EQ(behind.events[0].name, "snapshot");
    EXPECT_EQ(behind.next, feed.start("").next);
    EXPECT_TRUE(feed.after(behind.next, 3).events.empty());
    EXPECT_FALSE(feed.after(feed.start("").next, 3).lagging);
}

TEST(DashboardServer, KeepsItsLimitsOnTheWire) {
    ServerLimits limits;
    limits.connections = 4;
    limits.requestWait = std::chrono::seconds(1);
    limits.idleWait = std::chrono::seconds(1);
    ServerRig rig(limits);
    EXPECT_EQ(rig.server.url(), "http://127.0.0.1:" + std::to_string(rig.server.port()) + "/");
    EXPECT_EQ(statusLine(rig.get("/api/snapshot")), "HTTP/1.1 200 OK");
    const std::string head = rig.get("/api/snapshot", "HEAD");
    EXPECT_EQ(statusLine(head), "HTTP/1.1 200 OK");
    EXPECT_EQ(head.substr(head.find("\r\n\r\n") + 4), ""); // HEAD: the headers alone
    EXPECT_EQ(statusLine(rig.get("/", "POST")), "HTTP/1.1 405 Method Not Allowed");
    const std::string port = std::to_string(rig.server.port());
    EXPECT_EQ(statusLine(rig.request("POST /api/snapshot HTTP/1.1\r\nHost: 127.0.0.1:" + port +
                                     "\r\nContent-Length: 5\r\n\r\nhello")),
              "HTTP/1.1 413 Payload Too Large");
    // Headers beyond the bound, and a request that never ends: closed, nothing answered.
    EXPECT_EQ(rig.request("GET / HTTP/1.1\r\nX: " + std::string(20000, 'a') + "\r\n\r\n"), "");
    EXPECT_EQ(rig.request("GET / HTTP/1.1\r\nHost: 127.0.0.1"), "");
    // More connections than allowed at once: the one over is told so and closed.
    std::vector<std::unique_ptr<RawClient>> held;
    for (int i = 0; i < 4; ++i) {
        held.push_back(std::make_unique<RawClient>(rig.server.port()));
        held.back()->send("GET /api/events HTTP/1.1\r\nHost: 127.0.0.1:" + port + "\r\n\r\n");
        EXPECT_EQ(statusLine(held.back()->readHead()), "HTTP/1.1 200 OK");
    }
    EXPECT_EQ(statusLine(rig.get("/")), "HTTP/1.1 503 Service Unavailable");
}

TEST(DashboardServer, AClientThatStopsReadingIsDroppedAndNeverHoldsUpALane) {
    ServerLimits limits;
    limits.streamBacklog = 64;
    limits.writeWait = std::chrono::seconds(1);
    ServerRig rig(limits);
    // Small from the start: what the server sends soon waits on it.
    RawClient stalled(rig.server.port(), 4096);
    stalled.send("GET /api/events HTTP/1.1\r\n" + rig.host() + "\r\n\r\n");
    EXPECT_EQ(statusLine(stalled.readHead()), "HTTP/1.1 200 OK");
    // A lane pours out events while one client reads nothing: every call returns, and once
    // what waits for the client has waited the write wait, it is cut off.
    const LaneTag lane = laneTag(1, std::string(200, 'S'));
    int meters = 0;
    while (meters < 3000 && !stalled.awaitCut(100)) {
        for (int i = 0; i < 10; ++i) {
            rig.feed.phase(lane, Phase::Sending, 1);
            for (int done = 10; done <= 310; done += 10) {
                rig.feed.progress(lane, done, 314);
            }
            rig.feed.outcome(lane, okRun(), StationTotals{++meters, 0, 0}, "");
        }
    }
    EXPECT_TRUE(stalled.awaitCut(5000)) << meters << " meters";
    const std::string snapshot = rig.get("/api/snapshot");
    EXPECT_NE(snapshot.find("\"totals\":{\"ok\":" + std::to_string(meters)), std::string::npos);
}

TEST(DashboardServer, TheLastEventsReachThePagesBeforeItStops) {
    ServerRig rig;
    RawClient page(rig.server.port());
    page.send("GET /api/events HTTP/1.1\r\n" + rig.host() + "\r\n\r\n");
    const std::string head = page.readHead();
    rig.feed.outcome(laneTag(1, "PX7A0000"), okRun(), StationTotals{1, 0, 0}, "");
    StationResult result;
    result.totals = StationTotals{1, 0, 0};
    rig.feed.finish(result);
    rig.server.stop(std::chrono::milliseconds(2000));
    const std::string stream = head + page.readAll();
    EXPECT_NE(stream.find("Content-Type: text/event-stream"), std::string::npos);
    EXPECT_NE(stream.find("event: outcome"), std::string::npos);
    EXPECT_NE(stream.find("event: station_ended"), std::string::npos);
}

} // namespace
} // namespace pxr7
