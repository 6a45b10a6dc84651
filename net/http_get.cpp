// The size cap is enforced here, not left to Beast's body_limit (Boost 1.74 loses that error
// when the header and the first body bytes come in one read): a declared Content-Length over
// the cap is refused before any of the body is read, and a body of no declared length is
// counted as it comes and cut at the cap.
#include "http_get.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#if defined(PXR7_HAVE_TLS)
#include <boost/asio/ssl.hpp>

#include <openssl/ssl.h>
#endif

#include <limits>
#include <memory>
#include <optional>

namespace pxr7 {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

// One request's sockets and buffers; its steps chain through the handlers below.
struct Exchange {
    net::io_context io;
    tcp::resolver resolver{io};
    beast::tcp_stream stream{io};
    beast::flat_buffer buffer;
    http::request<http::empty_body> request;
    http::response_parser<http::string_body> parser;
    std::chrono::steady_clock::time_point deadline;
    std::size_t maxBytes = 0;
    beast::error_code error;
    std::optional<std::uint64_t> tooLarge; // the cap was broken: the size declared, or 0
    bool done = false;
#if defined(PXR7_HAVE_TLS)
    std::optional<net::ssl::context> context;
    std::optional<net::ssl::stream<beast::tcp_stream&>> tls;
    std::string host; // the name the certificate must carry
#endif

    // Does act with the stream: the TLS one for an https:// station.
    template <class Act> void onStream(Act&& act) {
#if defined(PXR7_HAVE_TLS)
        if (tls) {
            act(*tls);
            return;
        }
#endif
        act(stream);
    }

    void finish(beast::error_code ec) {
        error = ec;
        done = true;
    }
    void refuse(std::uint64_t declared) {
        tooLarge = declared;
        stream.cancel();
        finish(net::error::operation_aborted);
    }
    void resolved(beast::error_code ec, const tcp::resolver::results_type& found) {
        if (ec) {
            return finish(ec);
        }
        stream.expires_at(deadline);
        stream.async_connect(found, [this](beast::error_code e, const tcp::endpoint&) {
            e ? finish(e) : handshake();
        });
    }
    void handshake() {
#if defined(PXR7_HAVE_TLS)
        if (tls) {
            // The name for the certificate (SNI); an address is no name to send.
            beast::error_code isAddress;
            net::ip::make_address(host, isAddress);
            if (isAddress) {
                SSL_set_tlsext_host_name(tls->native_handle(), host.c_str());
            }
            tls->async_handshake(net::ssl::stream_base::client,
                                 [this](beast::error_code e) { e ? finish(e) : connected(); });
            return;
        }
#endif
        connected();
    }
    void connected() {
        onStream([this](auto& s) {
            http::async_write(s, request, [this](beast::error_code e, std::size_t) {
                if (e) {
                    return finish(e);
                }
                onStream([this](auto& r) {
                    http::async_read_header(
                        r, buffer, parser,
                        [this](beast::error_code h, std::size_t) { h ? finish(h) : headerRead(); });
                });
            });
        });
    }
    void headerRead() {
        const auto declared = parser.content_length();
        if (declared && *declared > maxBytes) {
            return refuse(*declared);
        }
        readBody();
    }
    void readBody() {
        if (parser.is_done()) {
            return finish({});
        }
        onStream([this](auto& s) {
            http::async_read_some(s, buffer, parser, [this](beast::error_code e, std::size_t) {
                if (parser.get().body().size() > maxBytes) {
                    return refuse(0);
                }
                e ? finish(e) : readBody();
            });
        });
    }
};

// The request over TLS, the station's certificate checked against the certificates of its
// caFile (or the system's) and for its host's name or address.
bool useTls(Exchange& get, const HttpGet& asked, std::string& problem) {
#if defined(PXR7_HAVE_TLS)
    get.context.emplace(net::ssl::context::tls_client);
    get.context->set_options(net::ssl::context::default_workarounds | net::ssl::context::no_sslv2 |
                             net::ssl::context::no_sslv3 | net::ssl::context::no_tlsv1 |
                             net::ssl::context::no_tlsv1_1);
    beast::error_code error;
    if (asked.caFile.empty()) {
        get.context->set_default_verify_paths(error);
    } else {
        get.context->load_verify_file(asked.caFile, error);
    }
    if (error) {
        problem = "the certificates to check it against cannot be read: " + error.message();
        return false;
    }
    get.context->set_verify_mode(net::ssl::verify_peer);
    get.tls.emplace(get.stream, *get.context);
    get.host = asked.url.host;
    get.tls->set_verify_callback(net::ssl::host_name_verification(asked.url.host));
    return true;
#else
    (void)get;
    (void)asked;
    problem = "this build has no TLS for an https:// station";
    return false;
#endif
}

void prepare(Exchange& get, const HttpGet& asked) {
    // Counted here instead: Beast's own limit, where it works, ends the header's read with no
    // word of the size. (Its "no limit", boost::none, refuses every body in 1.74.)
    get.parser.body_limit(std::numeric_limits<std::uint64_t>::max());
    get.maxBytes = asked.maxBytes;
    get.request = {http::verb::get, asked.target, 11};
    get.request.set(http::field::host, asked.url.hostHeader);
    if (!asked.userAgent.empty()) {
        get.request.set(http::field::user_agent, asked.userAgent);
    }
    get.request.set(http::field::connection, "close");
    if (!asked.key.empty()) {
        get.request.set(http::field::authorization, "Bearer " + asked.key);
    }
}

// Runs the exchange until it is done; past the deadline or once stop says so, what is under
// way is cancelled (and then done). The outcome when it did not end by itself.
HttpGetOutcome runExchange(Exchange& get, const HttpGet& asked) {
    get.deadline = std::chrono::steady_clock::now() + asked.deadline;
    get.resolver.async_resolve(
        asked.url.host, asked.url.port,
        [&get](beast::error_code e, tcp::resolver::results_type found) { get.resolved(e, found); });
    HttpGetOutcome cut = HttpGetOutcome::Answered;
    while (!get.done) {
        get.io.run_for(std::chrono::milliseconds(100));
        const bool late = std::chrono::steady_clock::now() > get.deadline;
        if (!get.done && (late || (asked.stop && asked.stop()))) {
            cut = late ? HttpGetOutcome::Late : HttpGetOutcome::Stopped;
            get.resolver.cancel();
            get.stream.cancel();
        }
    }
    return cut;
}

} // namespace

const std::string* HttpGetResult::header(const std::string& name) const {
    for (const auto& field : headers) {
        if (beast::iequals(field.first, name)) {
            return &field.second;
        }
    }
    return nullptr;
}

HttpGetResult httpGet(const HttpGet& asked) {
    HttpGetResult result;
    auto get = std::make_unique<Exchange>();
    prepare(*get, asked);
    if (asked.url.tls && !useTls(*get, asked, result.problem)) {
        return result;
    }
    const HttpGetOutcome cut = runExchange(*get, asked);
    if (get->tooLarge) {
        result.outcome = HttpGetOutcome::TooLarge;
        result.declaredBytes = *get->tooLarge;
        return result;
    }
    if (get->error) {
        result.outcome = cut != HttpGetOutcome::Answered       ? cut
                         : get->error == beast::error::timeout ? HttpGetOutcome::Late
                                                               : HttpGetOutcome::Failed;
        result.problem = get->error.message();
        return result;
    }
    auto& response = get->parser.get();
    result.outcome = HttpGetOutcome::Answered;
    result.status = response.result_int();
    for (const auto& field : response.base()) {
        result.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
    }
    result.body = std::move(response.body());
    return result;
}

} // namespace pxr7
