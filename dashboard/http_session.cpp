#include "http_session.h"

#include <boost/asio/post.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/read.hpp>

#include <exception>
#include <limits>

namespace pxr7 {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {

// After an answer that refuses a request, what the client still sends is read and dropped for
// this long (or this much), so that the answer reaches it instead of being lost to a reset.
constexpr auto kLingerWait = std::chrono::seconds(2);
constexpr std::size_t kLingerBytes = 64 * 1024;

// What the worker answers; a failure of its own is the server's, not the connection's.
Routed routeOffThread(DashboardRoutes& routes, const DashboardRequest& request) {
    try {
        return routes.route(request);
    } catch (const std::exception& failure) {
        Routed failed;
        failed.reply = errorReply(500, std::string("the dashboard failed: ") + failure.what());
        addSafetyHeaders(failed.reply);
        return failed;
    }
}

Routed busy() {
    Routed routed;
    routed.reply = errorReply(503, "the dashboard is busy with other requests: try again");
    routed.reply.headers.emplace_back("Retry-After", "2");
    addSafetyHeaders(routed.reply);
    return routed;
}

// Errors of a request's bytes, as opposed to a client that went away or sent too much.
bool malformed(const beast::error_code& error) {
    return error.category() == http::make_error_code(http::error::bad_method).category() &&
           error != http::error::end_of_stream && error != http::error::partial_message &&
           error != http::error::header_limit && error != http::error::buffer_overflow;
}

DashboardRequest askedOf(const http::request<http::empty_body>& request) {
    DashboardRequest asked;
    asked.method = std::string(request.method_string());
    asked.target = std::string(request.target());
    asked.host = std::string(request[http::field::host]);
    asked.lastEventId = std::string(request["Last-Event-ID"]);
    asked.authorization = std::string(request[http::field::authorization]);
    asked.cookie = std::string(request[http::field::cookie]);
    return asked;
}

} // namespace

HttpSession::HttpSession(tcp::socket socket, DashboardServer::Impl& server, std::string address)
    : socket_(std::move(socket)), timer_(server.io), server_(server), address_(std::move(address)) {
#if defined(PXR7_HAVE_TLS)
    if (server_.tls) {
        tls_.emplace(socket_, *server_.tls);
    }
#endif
}

void HttpSession::begin() {
    arm(server_.limits.requestWait);
#if defined(PXR7_HAVE_TLS)
    // The handshake is part of the first request's wait: a client that never finishes it is cut
    // as one that never sends its request.
    if (tls_ && !handshaken_) {
        auto self = shared_from_this();
        tls_->async_handshake(net::ssl::stream_base::server,
                              [self](const beast::error_code& error) {
                                  if (self->closed_) {
                                      return;
                                  }
                                  if (error) {
                                      self->close();
                                      return;
                                  }
                                  self->handshaken_ = true;
                                  self->readHead();
                              });
        return;
    }
#endif
    readHead();
}

// Between requests the idle wait applies; from the next request's first byte, the request's.
void HttpSession::awaitNext() {
    if (buffer_.size() > 0) {
        begin();
        return;
    }
    arm(server_.limits.idleWait);
    auto self = shared_from_this();
    onStream([&](auto& stream) {
        stream.async_read_some(buffer_.prepare(1024),
                               [self](const beast::error_code& error, std::size_t got) {
                                   if (self->closed_) {
                                       return;
                                   }
                                   if (error) {
                                       self->close();
                                       return;
                                   }
                                   self->buffer_.commit(got);
                                   self->begin();
                               });
    });
}

void HttpSession::readHead() {
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(server_.limits.requestBytes));
    // A declared body is refused below, with its reason. (Not boost::none: this Beast then takes
    // any Content-Length, 0 too, for one over the limit.)
    parser_->body_limit(std::numeric_limits<std::uint64_t>::max());
    auto self = shared_from_this();
    onStream([&](auto& stream) {
        http::async_read_header(
            stream, buffer_, *parser_,
            [self](const beast::error_code& error, std::size_t) { self->onHead(error); });
    });
}

void HttpSession::onHead(const beast::error_code& error) {
    if (closed_) {
        return;
    }
    if (error) {
        onReadError(error);
        return;
    }
    disarm();
    const auto& request = parser_->get();
    Asked asked;
    asked.head = request.method() == http::verb::head;
    asked.version = request.version() == 10 ? 10 : 11;
    asked.keepAlive = request.keep_alive();
    if (std::optional<HttpReply> refused = refusedHead(request)) {
        refuse(std::move(*refused), asked.version);
        return;
    }
    dispatch(askedOf(request), asked);
}

void HttpSession::onReadError(const beast::error_code& error) {
    if (malformed(error)) {
        refuse(errorReply(400, "the request cannot be read"), 11);
    } else {
        close(); // gone, or headers over the bound: nothing it would read
    }
}

// What needs no history is answered here at once; the rest by a worker, whose answer comes back
// to this thread to be written.
void HttpSession::dispatch(const DashboardRequest& request, Asked asked) {
    DashboardRoutes& routes = server_.routes;
    if (!routes.mayBlock(request)) {
        answer(routes.route(request), asked);
        return;
    }
    auto self = shared_from_this();
    const bool taken = server_.pool.submit([self, request, asked]() mutable {
        Routed routed = routeOffThread(self->server_.routes, request);
        net::io_context& io = self->server_.io;
        net::post(io, [self = std::move(self), routed = std::move(routed), asked]() mutable {
            self->answer(std::move(routed), asked);
        });
    });
    if (!taken) {
        answer(busy(), asked);
    }
}

void HttpSession::answer(Routed routed, Asked asked) {
    if (closed_) {
        return;
    }
    if (routed.eventStream && server_.feed != nullptr) {
        startStream(routed, asked.head);
    } else if (routed.reply.chunks) {
        sendStreamed(routed.reply, asked);
    } else {
        sendWhole(routed.reply, asked);
    }
}

// A request the dashboard will not take: said, and the connection closed, so that nothing it
// sent after its head is taken for a request of its own.
void HttpSession::refuse(HttpReply reply, unsigned version) {
    disarm();
    addSafetyHeaders(reply);
    std::string text = replyHead(reply, version, false, BodyShape::Length, reply.body.size());
    write(text + reply.body, [this] { linger(); });
}

void HttpSession::linger() {
    beast::error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_send, ignored);
    lingering_ = true;
    arm(kLingerWait);
    drain();
}

void HttpSession::drain() {
    buffer_.consume(buffer_.size());
    auto self = shared_from_this();
    onStream([&](auto& stream) {
        stream.async_read_some(buffer_.prepare(4096),
                               [self](const beast::error_code& error, std::size_t got) {
                                   if (self->closed_) {
                                       return;
                                   }
                                   self->lingered_ += got;
                                   if (error || self->lingered_ > kLingerBytes) {
                                       self->close();
                                   } else {
                                       self->drain();
                                   }
                               });
    });
}

void HttpSession::afterAnswer(bool keepAlive) {
    if (keepAlive) {
        awaitNext();
    } else {
        close();
    }
}

void HttpSession::arm(Clock::duration wait) {
    timer_.expires_after(wait);
    auto self = shared_from_this();
    timer_.async_wait([self](const beast::error_code& error) {
        // A wait moved on since this one was set is not over.
        if (error || self->closed_ || self->timer_.expiry() > Clock::now()) {
            return;
        }
        if (self->lingering_) {
            self->close();
        } else {
            self->abort();
        }
    });
}

void HttpSession::disarm() {
    timer_.expires_at(Clock::time_point::max());
}

void HttpSession::close() {
    if (closed_) {
        return;
    }
    beast::error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    finish();
}

void HttpSession::abort() {
    if (closed_) {
        return;
    }
    // A reset: what is still queued for this client is dropped, not sent for minutes more.
    beast::error_code ignored;
    socket_.set_option(net::socket_base::linger(true, 0), ignored);
    socket_.close(ignored);
    finish();
}

void HttpSession::finish() {
    closed_ = true;
    if (streaming_) {
        --server_.streams;
    }
    timer_.cancel();
    server_.ended(shared_from_this(), address_);
}

} // namespace pxr7
