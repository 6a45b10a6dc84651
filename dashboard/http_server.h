// The dashboard on the network: listens on one address, reads and writes on a thread of its own,
// and answers with what DashboardRoutes decides; what may wait on the history (a file or the
// database) is answered by a few workers beside it, so no request waits for another. Streams
// the station's feed to each page that asks for its events, and a streamed body (an export) as
// it is made, a chunk at a time. Connections, request sizes and waits are bounded: a client that
// does not read what it asked for is dropped, and nothing here ever holds up a lane.
#pragma once

#include "dashboard_routes.h"
#include "live_feed.h"
#include "serve_address.h"

#include <chrono>
#include <memory>
#include <string>

namespace pxr7 {

struct ServerLimits {
    std::size_t connections = 64; // more are answered 503 and closed
    // From one client address (loopback is one; so is a proxy in front): a supervisor's PC with
    // a dozen pages open, each holding its event stream, stays well within it.
    std::size_t connectionsPerAddress = 32;
    std::size_t spareConnections = 8;     // of connections, for addresses that hold none yet
    std::size_t requestBytes = 8192;      // a request's line and headers; a body is refused
    std::chrono::seconds requestWait{10}; // from a request's first byte to its last header
    std::chrono::seconds idleWait{30};    // for the next request on a kept connection
    std::chrono::seconds writeWait{10};   // for a client to take any of an answer or an event
    std::size_t streamBacklog = 512;      // events a stream may fall behind before it gets a
                                          // fresh snapshot instead
    std::chrono::seconds keepAlive{15};   // a comment on a quiet event stream
    std::size_t workers = 4;              // threads that answer from the history
    std::size_t queuedRequests = 32;      // waiting for a worker; more are answered 503
    std::size_t sendBytes = 64 * 1024;    // of a streamed body, gathered before they are sent;
                                          // the next are made once these are written
};

class DashboardServer {
public:
    // feed: the station's, or nullptr for the history alone.
    DashboardServer(DashboardRoutes& routes, LiveFeed* feed, ServerLimits limits = {});
    ~DashboardServer();
    DashboardServer(const DashboardServer&) = delete;
    DashboardServer& operator=(const DashboardServer&) = delete;

    // Whether this build can speak TLS (OpenSSL was there to build with).
    static bool tlsBuilt();
    // Before start: every connection speaks TLS with the certificate (a PEM chain, the server's
    // own first) and its private key. False, with the reason, when they cannot be used.
    bool speakTls(const std::string& certificateFile, const std::string& keyFile,
                  std::string& problem);
    // Listens on the address and starts serving. False, with the reason, when it cannot (the
    // address is not this machine's, the port is taken or not ours to use).
    bool start(const ServeAddress& address, std::string& problem);
    // Where to point a browser, e.g. "http://127.0.0.1:8470/" ("https://" with TLS).
    std::string url() const;
    unsigned short port() const;
    // Gives the event streams up to flush to send what is left, then closes every connection.
    void stop(std::chrono::milliseconds flush = std::chrono::milliseconds(0));

    struct Impl; // the sockets, the threads and the limits, in server_impl.h

private:
    std::shared_ptr<Impl> impl_;
};

} // namespace pxr7
