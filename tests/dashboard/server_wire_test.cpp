// The server's own work, over real loopback sockets: a request that waits on the history holds
// up no other, a streamed body goes out as it is made and only as fast as its reader takes it,
// a stream far behind resumes with a snapshot, and requests it does not take are refused
// whole, with the connection closed after.
#include "gate.h"
#include "server_rig.h"

#include <atomic>

namespace pxr7 {
namespace {

// Opens the gate as the test ends, however it ends, so that the server's stop never waits on it.
struct OpenAtEnd {
    Gate& gate;
    ~OpenAtEnd() { gate.open(); }
};

// A history whose page waits at a gate, and whose CSV is made by the test's producer.
class ScriptedHistory : public HistorySource {
public:
    HttpReply history(const QueryParams&) override {
        if (hold) {
            gate.pass();
        }
        return jsonReply(200, "{}");
    }
    HttpReply csv(const QueryParams&) override {
        HttpReply reply;
        reply.contentType = "text/csv";
        reply.body = "head\n";
        reply.chunks = [this](std::string& chunk) {
            ++calls;
            return produce(chunk);
        };
        return reply;
    }
    HttpReply jsonl(const QueryParams&) override { return jsonReply(200, "{}"); }
    HttpReply entry(const QueryParams&) override { return jsonReply(200, "{}"); }
    HttpReply summary(const QueryParams&) override { return jsonReply(200, "{}"); }

    std::atomic<bool> hold{false}; // set once the server has read ahead (warmUp)
    Gate gate;
    BodyChunks produce;
    std::atomic<int> calls{0};
};

// A chunked body taken apart: its bytes, and whether its last chunk came.
struct Unchunked {
    std::string body;
    bool whole = false;
};

Unchunked unchunk(const std::string& answer) {
    Unchunked out;
    std::size_t at = answer.find("\r\n\r\n");
    at = at == std::string::npos ? answer.size() : at + 4;
    while (at < answer.size()) {
        const std::size_t line = answer.find("\r\n", at);
        if (line == std::string::npos) {
            break;
        }
        const std::size_t size = std::stoul(answer.substr(at, line - at), nullptr, 16);
        if (size == 0) {
            out.whole = answer.compare(line, 4, "\r\n\r\n") == 0;
            break;
        }
        out.body += answer.substr(line + 2, size);
        at = line + 2 + size + 2;
    }
    return out;
}

std::string getText(const ServerRig& rig, const std::string& target, const char* version = "1.1",
                    const char* method = "GET") {
    return std::string(method) + " " + target + " HTTP/" + version + "\r\n" + rig.host() +
           "\r\nConnection: close\r\n\r\n";
}

LaneTag laneTagged(int number) {
    LaneTag tag;
    tag.number = number;
    tag.serial = "PX7A000" + std::to_string(number);
    tag.index = number - 1;
    return tag;
}

// Which of two clients is answered first, waiting up to 5 s: 0, 1, or -1 for neither.
int firstAnswered(const RawClient& a, const RawClient& b) {
    pollfd both[] = {{a.fd(), POLLIN, 0}, {b.fd(), POLLIN, 0}};
    if (poll(both, 2, 5000) <= 0) {
        return -1;
    }
    return (both[0].revents & POLLIN) ? 0 : 1;
}

TEST(DashboardServer, ARequestThatWaitsOnTheHistoryHoldsUpNoOtherPage) {
    ServerLimits limits;
    limits.workers = 1;
    limits.queuedRequests = 1;
    ScriptedHistory history;
    ServerRig rig(limits, &history);
    OpenAtEnd opened{history.gate};
    history.hold = true;
    RawClient waiting(rig.server.port());
    waiting.send(getText(rig, "/api/history"));
    ASSERT_TRUE(history.gate.awaitArrivals(1));
    // The one worker is held: the pages that need no history are answered all the same.
    for (const char* target : {"/api/snapshot", "/", "/static/live.js", "/api/events"}) {
        RawClient page(rig.server.port());
        page.send(getText(rig, target));
        EXPECT_EQ(statusLine(page.readHead()), "HTTP/1.1 200 OK") << target;
    }
    // One more history request waits its turn; the one after is told to come back.
    RawClient queued(rig.server.port()), over(rig.server.port());
    queued.send(getText(rig, "/api/entry?line=1"));
    over.send(getText(rig, "/api/history.jsonl"));
    const int busy = firstAnswered(queued, over);
    ASSERT_NE(busy, -1);
    const std::string refused = (busy == 0 ? queued : over).readAll();
    EXPECT_EQ(statusLine(refused), "HTTP/1.1 503 Service Unavailable");
    EXPECT_NE(refused.find("Retry-After: "), std::string::npos);
    history.gate.open();
    EXPECT_EQ(statusLine(waiting.readAll()), "HTTP/1.1 200 OK");
    EXPECT_EQ(statusLine((busy == 0 ? over : queued).readAll()), "HTTP/1.1 200 OK");
}

TEST(DashboardServer, AStreamedBodyGoesOutAsMadeAndEndsAsItEnded) {
    const struct {
        const char* version;
        const char* method;
        Chunk last; // after "alpha" and "beta"
        bool chunked, whole;
        const char* body; // as received
        int calls;
    } cases[] = {
        {"1.1", "GET", Chunk::Done, true, true, "head\nalphabeta", 3},
        {"1.1", "GET", Chunk::Failed, true, false, "head\nalphabeta", 3},
        {"1.0", "GET", Chunk::Done, false, false, "head\nalphabeta", 3},
        {"1.1", "HEAD", Chunk::Done, true, false, "", 0},
    };
    ScriptedHistory history;
    ServerRig rig(ServerLimits{}, &history);
    for (const auto& c : cases) {
        history.calls = 0;
        history.produce = [&c, &history](std::string& chunk) {
            const int call = history.calls;
            chunk += call == 1 ? "alpha" : call == 2 ? "beta" : "";
            return call < 3 ? Chunk::More : c.last;
        };
        RawClient client(rig.server.port());
        client.send(getText(rig, "/api/history.csv", c.version, c.method));
        const std::string answer = client.readAll();
        const std::string label = std::string(c.method) + " HTTP/" + c.version;
        EXPECT_TRUE(client.closedByServer()) << label;
        EXPECT_EQ(answer.find("Transfer-Encoding: chunked") != std::string::npos, c.chunked)
            << label;
        EXPECT_EQ(answer.find("Content-Length"), std::string::npos) << label;
        const std::string raw = answer.substr(answer.find("\r\n\r\n") + 4);
        if (c.chunked && std::string(c.method) == "GET") {
            EXPECT_EQ(unchunk(answer).body, c.body) << label;
            EXPECT_EQ(unchunk(answer).whole, c.whole) << label;
        } else {
            EXPECT_EQ(raw, c.body) << label;
        }
        EXPECT_EQ(history.calls, c.calls) << label;
    }
    // Kept alive: the next request on the connection is read after the last chunk.
    RawClient kept(rig.server.port());
    kept.send("GET /api/history.csv HTTP/1.1\r\n" + rig.host() + "\r\n\r\n" +
              getText(rig, "/api/history.csv"));
    const std::string twice = kept.readAll();
    EXPECT_EQ(twice.find("HTTP/1.1 200 OK", 1), twice.rfind("HTTP/1.1 200 OK")) << twice;
    EXPECT_NE(twice.find("0\r\n\r\nHTTP/1.1 200 OK"), std::string::npos) << twice;
    EXPECT_EQ(twice.substr(twice.size() - 5), "0\r\n\r\n");
}

TEST(DashboardServer, AStreamedBodyIsMadeOnlyAsFastAsItsReaderTakesIt) {
    ServerLimits limits;
    limits.writeWait = std::chrono::seconds(1);
    ScriptedHistory history;
    // Without end, but for a bound far above what the sockets between can hold.
    history.produce = [&history](std::string& chunk) {
        chunk.append(64 * 1024, 'x');
        return history.calls < 4096 ? Chunk::More : Chunk::Done;
    };
    ServerRig rig(limits, &history);
    RawClient stalled(rig.server.port(), 4096);
    stalled.send(getText(rig, "/api/history.csv"));
    EXPECT_EQ(statusLine(stalled.readHead()), "HTTP/1.1 200 OK");
    // It takes nothing more: cut off once the write wait passes, with the body made only as far
    // as the sockets held it.
    EXPECT_TRUE(stalled.awaitCut(10000));
    EXPECT_LT(history.calls, 1024);
}

TEST(DashboardServer, AnAnswerLongerThanTheWriteWaitIsNotCutWhileItsReaderTakesIt) {
    ServerLimits limits;
    limits.writeWait = std::chrono::seconds(1);
    limits.requestWait = std::chrono::seconds(1);
    limits.sendBytes = 1; // each part sent as it comes
    ScriptedHistory history;
    history.produce = [&history](std::string& chunk) {
        if (history.calls == 1) {
            chunk += "alpha";
            return Chunk::More;
        }
        history.gate.pass(); // the database is slow
        chunk += "beta";
        return Chunk::Done;
    };
    ServerRig rig(limits, &history);
    OpenAtEnd opened{history.gate};
    RawClient reader(rig.server.port());
    reader.send(getText(rig, "/api/history.csv"));
    std::string answer = reader.readUntil("alpha");
    ASSERT_TRUE(history.gate.awaitArrivals(1));
    // A request that never ends is cut after the same wait: by then the answer has taken
    // longer than the write wait, though its reader took every byte at once.
    RawClient unfinished(rig.server.port());
    unfinished.send("GET / HTTP/1.1\r\n");
    EXPECT_EQ(unfinished.readAll(), "");
    EXPECT_TRUE(unfinished.closedByServer());
    history.gate.open();
    answer += reader.readAll();
    EXPECT_EQ(unchunk(answer).body, "head\nalphabeta");
    EXPECT_TRUE(unchunk(answer).whole);
}

TEST(DashboardServer, AStreamFarBehindResumesWithASnapshotAndThenTheLiveEvents) {
    ServerRig rig;
    const LaneTag lane = laneTagged(1);
    rig.feed.laneAppeared(lane);
    const std::string seen = rig.feed.eventId(rig.feed.start("").next);
    // 2000 events later: beyond what a stream may fall behind, within what the feed keeps.
    for (int i = 0; i < 2000; ++i) {
        rig.feed.phase(lane, Phase::Sending, 1);
    }
    RawClient page(rig.server.port());
    page.send("GET /api/events HTTP/1.1\r\n" + rig.host() + "\r\nLast-Event-ID: " + seen +
              "\r\n\r\n");
    const std::string start = page.readUntil("event: snapshot\n");
    EXPECT_NE(start.find("event: snapshot\n"), std::string::npos) << start;
    rig.feed.laneGone(lane);
    const std::string next = page.readUntil("event: lane_gone\n");
    EXPECT_NE(next.find("event: lane_gone\n"), std::string::npos) << next;
    EXPECT_FALSE(page.closedByServer());
}

TEST(DashboardServer, RefusesWhatItDoesNotTakeAndClosesAfterSaying) {
    ServerRig rig;
    const std::string host = rig.host() + "\r\n";
    const std::string smuggled = "GET /api/snapshot HTTP/1.1\r\n" + host + "\r\n";
    const struct {
        std::string request;
        const char* status;
    } cases[] = {
        {"GET / HTTP/1.1\r\n" + host + host + "\r\n", "400 Bad Request"},
        {"GET / HTTP/1.1\r\n" + host + "Transfer-Encoding: gzip\r\n\r\n" + smuggled,
         "400 Bad Request"},
        {"POST / HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
         "413 Payload Too Large"},
        {"GET / HTTP/1.1\r\n" + host + "Content-Length: 5\r\n\r\nhello" + smuggled,
         "413 Payload Too Large"},
        {"GARBAGE\r\n\r\n", "400 Bad Request"},
        {"GET / HTTP/1.1\r\n" + host + "No colon here\r\n\r\n", "400 Bad Request"},
        {"GET / HTTP/1.1\r\n" + host + "Content-Length: many\r\n\r\n", "400 Bad Request"},
        {"GET / HTTP/1.1\r\n" + host + std::string("X: a\0b\r\n\r\n", 10), "400 Bad Request"},
        {"GET / HTTP/7.1\r\n" + host + "\r\n", "400 Bad Request"},
    };
    for (const auto& c : cases) {
        RawClient client(rig.server.port());
        client.send(c.request);
        client.finishSending();
        const std::string answer = client.readAll();
        EXPECT_EQ(statusLine(answer), std::string("HTTP/1.1 ") + c.status) << c.request;
        EXPECT_EQ(answer.find("\nHTTP/1.1 "), std::string::npos) << c.request; // one answer
        EXPECT_NE(answer.find("Connection: close"), std::string::npos) << c.request;
        EXPECT_TRUE(client.closedByServer()) << c.request;
    }
    // What it takes, it still answers: a length of nothing is no body.
    EXPECT_EQ(statusLine(rig.request("GET / HTTP/1.1\r\n" + host +
                                     "Content-Length: 0\r\nConnection: close\r\n\r\n")),
              "HTTP/1.1 200 OK");
}

TEST(DashboardServer, ARequestMustArriveWithinItsWaitWhileAKeptConnectionMayIdle) {
    ServerLimits limits;
    limits.requestWait = std::chrono::seconds(1);
    limits.idleWait = std::chrono::seconds(30);
    ServerRig rig(limits);
    RawClient kept(rig.server.port());
    const std::string ask = "GET /api/snapshot HTTP/1.1\r\n" + rig.host() + "\r\n\r\n";
    kept.send(ask);
    EXPECT_NE(kept.readUntil("\"last_event_id\"").find("200 OK"), std::string::npos);
    // Begun and never ended: cut after the request wait, though the idle wait is longer.
    RawClient unfinished(rig.server.port());
    unfinished.send("GET /api/snapshot HTTP/1.1\r\nHo");
    EXPECT_EQ(unfinished.readAll(), "");
    EXPECT_TRUE(unfinished.closedByServer());
    // The kept connection, quiet all that time, still takes its next request.
    kept.send(ask);
    EXPECT_NE(kept.readUntil("\"last_event_id\"").find("200 OK"), std::string::npos);
    EXPECT_FALSE(kept.closedByServer());
}

TEST(DashboardServer, OneAddressTakesOnlyItsShareOfTheConnections) {
    ServerLimits limits;
    limits.connectionsPerAddress = 2;
    ServerRig rig(limits);
    const std::string events = "GET /api/events HTTP/1.1\r\n" + rig.host() + "\r\n\r\n";
    RawClient first(rig.server.port()), second(rig.server.port());
    for (RawClient* held : {&first, &second}) {
        held->send(events);
        EXPECT_EQ(statusLine(held->readHead()), "HTTP/1.1 200 OK");
    }
    RawClient third(rig.server.port());
    third.send(events);
    EXPECT_EQ(statusLine(third.readHead()), "HTTP/1.1 503 Service Unavailable");
    RawClient elsewhere(rig.server.port(), 0, "127.0.0.2");
    elsewhere.send(events);
    EXPECT_EQ(statusLine(elsewhere.readHead()), "HTTP/1.1 200 OK");
}

} // namespace
} // namespace pxr7
