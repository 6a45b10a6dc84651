#include "http_server.h"

#include "host_name.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <atomic>
#include <optional>
#include <set>
#include <thread>

namespace pxr7 {

namespace beast = boost::beast;
namespace http = beast::http;
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

std::string eventText(const std::string& id, const FeedEvent& event) {
    return "id: " + id + "\nevent: " + event.name + "\ndata: " + event.data + "\n\n";
}

std::string streamHead(const HttpReply& reply) {
    std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream; charset=utf-8\r\n";
    for (const auto& header : reply.headers) {
        head += header.first + ": " + header.second + "\r\n";
    }
    return head + "Connection: close\r\n\r\nretry: 2000\n\n";
}

} // namespace

class Session;

struct DashboardServer::Impl : std::enable_shared_from_this<DashboardServer::Impl> {
    Impl(DashboardRoutes& r, LiveFeed* f, ServerLimits l) : routes(r), feed(f), limits(l) {}

    void accept();
    void onAccept(const beast::error_code& error, tcp::socket socket);
    void tick();
    void wakeStreams();
    void closeAll();
    std::vector<std::shared_ptr<Session>> live() const {
        return {sessions.begin(), sessions.end()};
    }

    DashboardRoutes& routes;
    LiveFeed* feed;
    ServerLimits limits;
    net::io_context io{1};
    tcp::acceptor acceptor{io};
    net::steady_timer ticker{io};
    std::set<std::shared_ptr<Session>> sessions;
    std::atomic<bool> wakePending{false};
    std::atomic<int> streams{0};
    std::thread thread;
    std::string url;
    unsigned short port = 0;
};

// One connection: requests one after another, or once it asked for the events, a stream.
class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket socket, DashboardServer::Impl& server)
        : stream_(std::move(socket)), server_(server) {}

    void read();
    void pump();
    void keepAliveIfQuiet(Clock::time_point now);
    void close();

private:
    void onRead(const beast::error_code& error);
    void answer(Routed routed, bool head, unsigned version, bool keepAlive);
    void startStream(const Routed& routed, bool head);
    void send(std::string text);

    beast::tcp_stream stream_;
    DashboardServer::Impl& server_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::empty_body>> parser_;
    std::shared_ptr<http::response<http::string_body>> response_;
    bool streaming_ = false, writing_ = false, closed_ = false, endAfterWrite_ = false;
    std::uint64_t cursor_ = 0;
    std::string sending_;
    Clock::time_point lastWrite_ = Clock::now();
};

void Session::read() {
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(server_.limits.requestBytes));
    parser_->body_limit(0);
    stream_.expires_after(server_.limits.idleWait);
    auto self = shared_from_this();
    http::async_read_header(
        stream_, buffer_, *parser_,
        [self](const beast::error_code& error, std::size_t) { self->onRead(error); });
}

void Session::onRead(const beast::error_code& error) {
    const auto& request = parser_->get();
    // A request with a body is not one the dashboard answers: nothing here takes data.
    const bool body = error == http::error::body_limit ||
                      (!error && (parser_->content_length().value_or(0) > 0 || request.chunked()));
    if (error && !body) {
        close();
        return;
    }
    if (body) {
        Routed refused;
        refused.reply = errorReply(413, "the dashboard takes no request body");
        addSafetyHeaders(refused.reply);
        answer(std::move(refused), false, 11, false);
        return;
    }
    DashboardRequest asked;
    asked.method = std::string(request.method_string());
    asked.target = std::string(request.target());
    asked.host = std::string(request[http::field::host]);
    asked.lastEventId = std::string(request["Last-Event-ID"]);
    asked.authorization = std::string(request[http::field::authorization]);
    asked.cookie = std::string(request[http::field::cookie]);
    Routed routed = server_.routes.route(asked);
    const bool head = request.method() == http::verb::head;
    if (routed.eventStream && server_.feed != nullptr) {
        startStream(routed, head);
        return;
    }
    answer(std::move(routed), head, request.version(), request.keep_alive());
}

void Session::answer(Routed routed, bool head, unsigned version, bool keepAlive) {
    HttpReply& reply = routed.reply;
    response_ = std::make_shared<http::response<http::string_body>>(
        static_cast<http::status>(reply.status), version);
    response_->set(http::field::server, "pxr7");
    if (!reply.contentType.empty()) {
        response_->set(http::field::content_type, reply.contentType);
    }
    for (const auto& header : reply.headers) {
        response_->insert(header.first, header.second);
    }
    response_->keep_alive(keepAlive);
    if (head) {
        response_->content_length(reply.body.size());
    } else {
        response_->body() = std::move(reply.body);
        response_->prepare_payload();
    }
    stream_.expires_after(server_.limits.writeWait);
    auto self = shared_from_this();
    http::async_write(stream_, *response_,
                      [self, keepAlive](const beast::error_code& error, std::size_t) {
                          self->response_.reset();
                          if (error || !keepAlive) {
                              self->close();
                          } else {
                              self->read();
                          }
                      });
}

void Session::startStream(const Routed& routed, bool head) {
    streaming_ = true;
    ++server_.streams;
    std::string text = streamHead(routed.reply);
    if (head) {
        endAfterWrite_ = true;
        send(std::move(text));
        return;
    }
    FeedBatch batch = server_.feed->start(routed.lastEventId);
    for (const FeedEvent& event : batch.events) {
        text += eventText(server_.feed->eventId(event.number), event);
    }
    cursor_ = batch.next;
    send(std::move(text));
}

// Sends the events the stream has not had yet, unless a write is under way (its end comes back
// here). A stream too far behind is dropped: its page comes back and resumes.
void Session::pump() {
    if (!streaming_ || writing_ || closed_ || endAfterWrite_) {
        return;
    }
    FeedBatch batch = server_.feed->after(cursor_, server_.limits.streamBacklog);
    if (batch.lagging) {
        close();
        return;
    }
    std::string text;
    for (const FeedEvent& event : batch.events) {
        text += eventText(server_.feed->eventId(event.number), event);
        endAfterWrite_ = endAfterWrite_ || event.name == "station_ended";
    }
    cursor_ = batch.next;
    if (!text.empty()) {
        send(std::move(text));
    }
}

void Session::send(std::string text) {
    writing_ = true;
    sending_ = std::move(text);
    stream_.expires_after(server_.limits.writeWait);
    auto self = shared_from_this();
    net::async_write(stream_, net::buffer(sending_),
                     [self](const beast::error_code& error, std::size_t) {
                         self->writing_ = false;
                         self->sending_.clear();
                         self->lastWrite_ = Clock::now();
                         if (error || self->endAfterWrite_) {
                             self->close();
                             return;
                         }
                         self->stream_.expires_never();
                         self->pump();
                     });
}

void Session::keepAliveIfQuiet(Clock::time_point now) {
    if (streaming_ && !writing_ && !closed_ && now - lastWrite_ >= server_.limits.keepAlive) {
        send(": keep-alive\n\n");
    }
}

void Session::close() {
    if (closed_) {
        return;
    }
    closed_ = true;
    if (streaming_) {
        --server_.streams;
    }
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.close();
    server_.sessions.erase(shared_from_this());
}

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
        if (sessions.size() >= limits.connections) {
            // Too many at once: said in a few bytes that fit any socket's buffer, then closed.
            static const char kBusy[] = "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\n"
                                        "Connection: close\r\n\r\n";
            beast::error_code ignored;
            socket.non_blocking(true, ignored);
            socket.write_some(net::buffer(kBusy, sizeof kBusy - 1), ignored);
            socket.close(ignored);
        } else {
            auto session = std::make_shared<Session>(std::move(socket), *this);
            sessions.insert(session);
            session->read();
        }
    }
    accept();
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

bool DashboardServer::start(const ServeAddress& address, std::string& problem) {
    Impl& server = *impl_;
    const std::string named = address.host + ":" + std::to_string(address.port);
    beast::error_code error;
    tcp::resolver resolver(server.io);
    const auto found = resolver.resolve(address.host, std::to_string(address.port),
                                        tcp::resolver::numeric_service, error);
    if (error || found.empty()) {
        problem = address.host + " is not an address of this machine (" +
                  (error ? error.message() : std::string("not found")) + ")";
        return false;
    }
    const tcp::endpoint endpoint = found.begin()->endpoint();
    server.acceptor.open(endpoint.protocol(), error);
    if (!error && kReuseAddress) {
        server.acceptor.set_option(tcp::acceptor::reuse_address(true), error);
    }
    if (!error) {
        server.acceptor.bind(endpoint, error);
    }
    if (!error) {
        server.acceptor.listen(net::socket_base::max_listen_connections, error);
    }
    if (error) {
        problem = "cannot listen on " + named + ": " + error.message();
        beast::error_code ignored;
        server.acceptor.close(ignored);
        return false;
    }
    const tcp::endpoint bound = server.acceptor.local_endpoint(error);
    server.port = bound.port();
    server.url = "http://" + urlHost(bound) + ":" + std::to_string(server.port) + "/";
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
}

} // namespace pxr7
