// The dashboard on the network: listens on one address and answers each request on a thread of
// its own, with what DashboardRoutes decides; streams the station's feed to each page that asks
// for its events. Connections, request sizes and waits are bounded: a client that does not read
// what it asked for is dropped, and nothing here ever holds up a lane.
#pragma once

#include "dashboard_routes.h"
#include "live_feed.h"
#include "serve_address.h"

#include <chrono>
#include <memory>
#include <string>

namespace pxr7 {

struct ServerLimits {
    std::size_t connections = 64;         // more are answered 503 and closed
    std::size_t requestBytes = 8192;      // a request's line and headers; a body is refused
    std::chrono::seconds requestWait{10}; // for a request to arrive whole once it has begun
    std::chrono::seconds idleWait{30};    // for the next request on a kept connection
    std::chrono::seconds writeWait{10};   // for a client to take an answer or an event
    std::size_t streamBacklog = 512;      // events a stream may fall behind before it is dropped
    std::chrono::seconds keepAlive{15};   // a comment on a quiet event stream
};

class DashboardServer {
public:
    // feed: the station's, or nullptr for the history alone.
    DashboardServer(DashboardRoutes& routes, LiveFeed* feed, ServerLimits limits = {});
    ~DashboardServer();
    DashboardServer(const DashboardServer&) = delete;
    DashboardServer& operator=(const DashboardServer&) = delete;

    // Listens on the address and starts serving. False, with the reason, when it cannot (the
    // address is not this machine's, the port is taken or not ours to use).
    bool start(const ServeAddress& address, std::string& problem);
    // Where to point a browser, e.g. "http://127.0.0.1:8470/".
    std::string url() const;
    unsigned short port() const;
    // Gives the event streams up to flush to send what is left, then closes every connection.
    void stop(std::chrono::milliseconds flush = std::chrono::milliseconds(0));

    struct Impl; // the sockets and the thread, in http_server.cpp

private:
    std::shared_ptr<Impl> impl_;
};

} // namespace pxr7
