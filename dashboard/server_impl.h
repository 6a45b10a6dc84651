// The server's state shared by its connections: the acceptor, the I/O thread and its tick, the
// workers, and the connections with their limits. Everything here but the workers and the feed's
// wake-up belongs to the I/O thread.
#pragma once

#include "connection_limit.h"
#include "http_server.h"
#include "work_pool.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#if defined(PXR7_HAVE_TLS)
#include <boost/asio/ssl/context.hpp>
#endif

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace pxr7 {

class HttpSession;

struct DashboardServer::Impl : std::enable_shared_from_this<DashboardServer::Impl> {
    Impl(DashboardRoutes& r, LiveFeed* f, ServerLimits l);

    void accept();
    void onAccept(const boost::system::error_code& error, boost::asio::ip::tcp::socket socket);
    void refuse(boost::asio::ip::tcp::socket& socket);
    void tick();
    void wakeStreams();
    void closeAll();
    void ended(const std::shared_ptr<HttpSession>& session, const std::string& address);
    std::vector<std::shared_ptr<HttpSession>> live() const {
        return {sessions.begin(), sessions.end()};
    }

    DashboardRoutes& routes;
    LiveFeed* feed;
    ServerLimits limits;
    boost::asio::io_context io{1};
    boost::asio::ip::tcp::acceptor acceptor{io};
    boost::asio::steady_timer ticker{io};
    std::set<std::shared_ptr<HttpSession>> sessions;
    ConnectionLimit connections;
    std::atomic<bool> wakePending{false};
    std::atomic<int> streams{0};
    // After io: its tasks post to io, so it stops (and goes) first.
    WorkPool pool;
    std::thread thread;
    std::string url;
    unsigned short port = 0;
#if defined(PXR7_HAVE_TLS)
    std::shared_ptr<boost::asio::ssl::context> tls; // set: every connection speaks TLS
#endif
};

} // namespace pxr7
