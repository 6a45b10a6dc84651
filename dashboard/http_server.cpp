#include "http_server.h"

#include "host_name.h"
#include "http_session.h"
#include "server_impl.h"

#include <boost/asio/post.hpp>
#include <boost/beast/core/error.hpp>

namespace pxr7 {

namespace beast = boost::beast;
namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {

using Clock = std::chrono::steady_clock;

#ifdef _WIN32
// On Windows SO_REUSEADDR lets another program take a port in use: never.
constexpr bool kReuseAddress = false;
#else
// A station restarted at once may take its port again while old connections linger.
constexpr bool kReuseAddress = true;
#endif

// How often the server looks at its streams (keep-alive) and the feed's header.
constexpr auto kTickEvery = std::chrono::seconds(5);

std::string addressOf(const tcp::socket& socket) {
    beast::error_code error;
    const tcp::endpoint peer = socket.remote_endpoint(error);
    return error ? std::string() : peer.address().to_string();
}

} // namespace

DashboardServer::Impl::Impl(DashboardRoutes& r, LiveFeed* f, ServerLimits l)
    : routes(r), feed(f), limits(l),
      connections(ConnectionBounds{l.connections, l.connectionsPerAddress, l.spareConnections}),
      pool(l.workers, l.queuedRequests) {}

void DashboardServer::Impl::accept() {
    auto self = shared_from_this();
    acceptor.async_accept(io, [self](const beast::error_code& error, tcp::socket socket) {
        self->onAccept(error, std::move(socket));
    });
}

void DashboardServer::Impl::onAccept(const beast::error_code& error, tcp::socket socket) {
    if (error == net::error::operation_aborted || !acceptor.is_open()) {
        return;
    }
    if (!error) {
        std::string address = addressOf(socket);
        if (!connections.admit(address)) {
            refuse(socket);
        } else {
            auto session =
                std::make_shared<HttpSession>(std::move(socket), *this, std::move(address));
            sessions.insert(session);
            session->begin();
        }
    }
    accept();
}

// Too many at once, in all or from this address: said in a few bytes that fit any socket's
// buffer, then closed.
void DashboardServer::Impl::refuse(tcp::socket& socket) {
    static const char kBusy[] = "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\n"
                                "Retry-After: 2\r\nConnection: close\r\n\r\n";
    beast::error_code ignored;
    socket.non_blocking(true, ignored);
    socket.write_some(net::buffer(kBusy, sizeof kBusy - 1), ignored);
    socket.close(ignored);
}

void DashboardServer::Impl::ended(const std::shared_ptr<HttpSession>& session,
                                  const std::string& address) {
    if (sessions.erase(session) > 0) {
        connections.release(address);
    }
}

void DashboardServer::Impl::tick() {
    if (feed != nullptr) {
        feed->tick();
    }
    const Clock::time_point now = Clock::now();
    for (const auto& session : live()) {
        session->keepAliveIfQuiet(now);
    }
    ticker.expires_after(kTickEvery);
    auto self = shared_from_this();
    ticker.async_wait([self](const beast::error_code& error) {
        if (!error) {
            self->tick();
        }
    });
}

void DashboardServer::Impl::wakeStreams() {
    wakePending = false;
    for (const auto& session : live()) {
        session->pump();
    }
}

void DashboardServer::Impl::closeAll() {
    beast::error_code ignored;
    acceptor.close(ignored);
    ticker.cancel();
    for (const auto& session : live()) {
        session->close();
    }
}

DashboardServer::DashboardServer(DashboardRoutes& routes, LiveFeed* feed, ServerLimits limits)
    : impl_(std::make_shared<Impl>(routes, feed, limits)) {}

DashboardServer::~DashboardServer() {
    stop();
}

std::string DashboardServer::url() const {
    return impl_->url;
}

unsigned short DashboardServer::port() const {
    return impl_->port;
}

namespace {

std::string urlHost(const tcp::endpoint& bound) {
    const net::ip::address address = bound.address();
    if (address.is_unspecified()) {
        return hostName(); // every address of this machine: its name is the one to give out
    }
    return address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
}

} // namespace

namespace {

// The acceptor listening on the address; false with the problem said when it cannot.
bool listenOn(tcp::acceptor& acceptor, net::io_context& io, const ServeAddress& address,
              std::string& problem) {
    const std::string named = address.host + ":" + std::to_string(address.port);
    beast::error_code error;
    tcp::resolver resolver(io);
    const auto found = resolver.resolve(address.host, std::to_string(address.port),
                                        tcp::resolver::numeric_service, error);
    if (error || found.empty()) {
        problem = address.host + " is not an address of this machine (" +
                  (error ? error.message() : std::string("not found")) + ")";
        return false;
    }
    const tcp::endpoint endpoint = found.begin()->endpoint();
    acceptor.open(endpoint.protocol(), error);
    if (!error && kReuseAddress) {
        acceptor.set_option(tcp::acceptor::reuse_address(true), error);
    }
    if (!error) {
        acceptor.bind(endpoint, error);
    }
    if (!error) {
        acceptor.listen(net::socket_base::max_listen_connections, error);
    }
    if (error) {
        problem = "cannot listen on " + named + ": " + error.message();
        beast::error_code ignored;
        acceptor.close(ignored);
        return false;
    }
    return true;
}

} // namespace

bool DashboardServer::start(const ServeAddress& address, std::string& problem) {
    Impl& server = *impl_;
    if (!listenOn(server.acceptor, server.io, address, problem)) {
        return false;
    }
    beast::error_code error;
    const tcp::endpoint bound = server.acceptor.local_endpoint(error);
    server.port = bound.port();
#if defined(PXR7_HAVE_TLS)
    const std::string scheme = server.tls ? "https://" : "http://";
#else
    const std::string scheme = "http://";
#endif
    server.url = scheme + urlHost(bound) + ":" + std::to_string(server.port) + "/";
    server.routes.listeningOn(bound.address().is_loopback());
    if (server.feed != nullptr) {
        std::weak_ptr<Impl> weak = impl_;
        server.feed->onEvent([weak] {
            const auto live = weak.lock();
            if (live && !live->wakePending.exchange(true)) {
                net::post(live->io, [weak] {
                    if (const auto awake = weak.lock()) {
                        awake->wakeStreams();
                    }
                });
            }
        });
    }
    // The record is read before the address is given out, so the first page is quick.
    server.routes.warmUp();
    server.accept();
    server.tick();
    server.thread = std::thread([&server] { server.io.run(); });
    return true;
}

void DashboardServer::stop(std::chrono::milliseconds flush) {
    Impl& server = *impl_;
    if (!server.thread.joinable()) {
        return;
    }
    if (server.feed != nullptr) {
        server.feed->onEvent(nullptr);
    }
    const Clock::time_point until = Clock::now() + flush;
    while (server.streams > 0 && Clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::weak_ptr<Impl> weak = impl_;
    net::post(server.io, [weak] {
        if (const auto live = weak.lock()) {
            live->closeAll();
        }
    });
    server.thread.join();
    // A worker still busy with the history ends its request first; its answer goes nowhere.
    server.pool.stop();
}

} // namespace pxr7
