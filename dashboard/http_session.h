// One connection of the dashboard's server: requests one after another, each answered whole, as
// a streamed body, or, once it asked for the events, as a stream of the station's feed. Runs on
// the server's I/O thread; what may wait on the history goes to the server's workers and comes
// back here to be written. Every wait is bounded: the request's, the idle connection's, and the
// client's for taking what is written, which starts again whenever it takes some.
#pragma once

#include "reply_wire.h"
#include "server_impl.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>
#if defined(PXR7_HAVE_TLS)
#include <boost/asio/ssl/stream.hpp>
#endif

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace pxr7 {

class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    using Clock = std::chrono::steady_clock;

    HttpSession(boost::asio::ip::tcp::socket socket, DashboardServer::Impl& server,
                std::string address);

    // Reads the connection's first request.
    void begin();
    // An event stream: sends what the feed has that this stream has not had yet.
    void pump();
    void keepAliveIfQuiet(Clock::time_point now);
    // Closes after what was written has gone; abort drops it at once (a client that takes
    // nothing, or a request that never ends).
    void close();
    void abort();

private:
    struct Asked {
        bool head = false;
        unsigned version = 11;
        bool keepAlive = false;
    };

    // Reading and deciding (http_session.cpp).
    void awaitNext();
    void readHead();
    void onHead(const boost::system::error_code& error);
    void onReadError(const boost::system::error_code& error);
    void dispatch(const DashboardRequest& request, Asked asked);
    void answer(Routed routed, Asked asked);
    void refuse(HttpReply reply, unsigned version);
    void linger();
    void drain();
    void afterAnswer(bool keepAlive);
    void arm(Clock::duration wait);
    void disarm();
    void finish();
    // Does act with the connection's stream: the TLS one where the server speaks TLS.
    template <class Act> void onStream(Act&& act) {
#if defined(PXR7_HAVE_TLS)
        if (tls_) {
            act(*tls_);
            return;
        }
#endif
        act(socket_);
    }

    // Writing (session_write.cpp).
    void write(std::string text, std::function<void()> then);
    void writeSome();
    void finishWrite();
    void sendWhole(HttpReply& reply, Asked asked);
    void sendStreamed(HttpReply& reply, Asked asked);
    void askChunk();
    void onChunk(std::string bytes, Chunk result);
    void startStream(const Routed& routed, bool head);
    void sendEvents(std::string text);

    boost::asio::ip::tcp::socket socket_;
#if defined(PXR7_HAVE_TLS)
    std::optional<boost::asio::ssl::stream<boost::asio::ip::tcp::socket&>> tls_;
    bool handshaken_ = false;
#endif
    boost::asio::steady_timer timer_;
    DashboardServer::Impl& server_;
    std::string address_;
    boost::beast::flat_buffer buffer_;
    std::optional<boost::beast::http::request_parser<boost::beast::http::empty_body>> parser_;
    std::string out_;            // being written
    std::size_t sent_ = 0;       // of out_
    std::function<void()> then_; // once out_ is written
    BodyChunks chunks_;          // the streamed body under way; only a worker calls it
    BodyShape shape_ = BodyShape::Length;
    bool keepAfterBody_ = false;
    bool streaming_ = false, writing_ = false, closed_ = false, endAfterWrite_ = false;
    bool lingering_ = false;
    std::size_t lingered_ = 0;
    std::uint64_t cursor_ = 0;
    Clock::time_point lastWrite_ = Clock::now();
};

} // namespace pxr7
