// GET over HTTP/1.1 with Boost.Beast: one request per connection under one deadline for all
// of it (connect, header, body), so a station that stalls or trickles costs only its own
// collector. The size cap is enforced here, not left to Beast's body_limit (Boost 1.74 loses
// that error when the header and the first body bytes come in one read): a declared
// Content-Length over the cap is refused before any of the body is read, and a body of no
// declared length is counted as it comes and cut at the cap. A stop asked for ends the request
// within a tenth of a second.
#include "station_client.h"

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
#include <optional>

namespace pxr7 {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

struct HttpAnswer {
    unsigned status = 0;
    std::string body;
    http::fields headers;
};

std::string capWords() {
    return std::to_string(kMaxAnswerBytes >> 20) + " MiB the collector takes";
}

// One request's sockets and buffers; its steps chain through the handlers below.
struct Request {
    net::io_context io;
    tcp::resolver resolver{io};
    beast::tcp_stream stream{io};
    beast::flat_buffer buffer;
    http::request<http::empty_body> request;
    http::response_parser<http::string_body> parser;
    std::chrono::steady_clock::time_point deadline;
    beast::error_code error;
    std::string refusal; // the answer broke a cap: why
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
    void refuse(const std::string& why) {
        refusal = why;
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
        if (declared && *declared > kMaxAnswerBytes) {
            return refuse("its answer is " + std::to_string(*declared) + " bytes, over the " +
                          capWords());
        }
        readBody();
    }
    void readBody() {
        if (parser.is_done()) {
            return finish({});
        }
        onStream([this](auto& s) {
            http::async_read_some(s, buffer, parser, [this](beast::error_code e, std::size_t) {
                if (parser.get().body().size() > kMaxAnswerBytes) {
                    return refuse("its answer runs over the " + capWords());
                }
                e ? finish(e) : readBody();
            });
        });
    }
};

// The request over TLS, the station's certificate checked against the certificates of its
// caFile (or the system's) and for its host's name or address.
bool useTls(Request& get, const StationAddress& address, std::string& problem) {
#if defined(PXR7_HAVE_TLS)
    get.context.emplace(net::ssl::context::tls_client);
    get.context->set_options(net::ssl::context::default_workarounds | net::ssl::context::no_sslv2 |
                             net::ssl::context::no_sslv3 | net::ssl::context::no_tlsv1 |
                             net::ssl::context::no_tlsv1_1);
    beast::error_code error;
    if (address.caFile.empty()) {
        get.context->set_default_verify_paths(error);
    } else {
        get.context->load_verify_file(address.caFile, error);
    }
    if (error) {
        problem = "the certificates to check it against cannot be read: " + error.message();
        return false;
    }
    get.context->set_verify_mode(net::ssl::verify_peer);
    get.tls.emplace(get.stream, *get.context);
    get.host = address.host;
    get.tls->set_verify_callback(net::ssl::host_name_verification(address.host));
    return true;
#else
    (void)get;
    (void)address;
    problem = "this build has no TLS for an https:// station";
    return false;
#endif
}

bool httpGet(const StationAddress& address, const std::string& target, HttpAnswer& answer,
             std::string& problem, const CollectStop& stop) {
    Request get;
    // Counted here instead: Beast's own limit, where it works, ends the header's read with no
    // word of the size. (Its "no limit", boost::none, refuses every body in 1.74.)
    get.parser.body_limit(std::numeric_limits<std::uint64_t>::max());
    get.request = {http::verb::get, target, 11};
    const bool v6 = address.host.find(':') != std::string::npos;
    get.request.set(http::field::host,
                    (v6 ? "[" + address.host + "]" : address.host) + ":" + address.port);
    get.request.set(http::field::user_agent, "pxr7-collect");
    get.request.set(http::field::connection, "close");
    if (!address.key.empty()) {
        get.request.set(http::field::authorization, "Bearer " + address.key);
    }
    if (address.tls && !useTls(get, address, problem)) {
        return false;
    }
    get.deadline = std::chrono::steady_clock::now() + kStationTimeout;
    get.resolver.async_resolve(
        address.host, address.port,
        [&get](beast::error_code e, tcp::resolver::results_type found) { get.resolved(e, found); });
    bool stopped = false, late = false;
    while (!get.done) {
        get.io.run_for(std::chrono::milliseconds(100));
        late = std::chrono::steady_clock::now() > get.deadline;
        if (!get.done && (late || (stop && stop()))) {
            stopped = !late;
            get.resolver.cancel();
            get.stream.cancel();
        }
    }
    if (!get.refusal.empty()) {
        problem = get.refusal;
        return false;
    }
    if (get.error) {
        problem = stopped ? "stopped"
                  : late || get.error == beast::error::timeout
                      ? "it did not answer within " + std::to_string(kStationTimeout.count()) + " s"
                      : get.error.message();
        return false;
    }
    answer.status = get.parser.get().result_int();
    answer.headers = get.parser.get().base();
    answer.body = std::move(get.parser.get().body());
    return true;
}

bool getOk(const StationAddress& address, const std::string& target, HttpAnswer& answer,
           std::string& problem, const CollectStop& stop) {
    if (!httpGet(address, target, answer, problem, stop)) {
        return false;
    }
    if (answer.status != 200) {
        problem = "it answered HTTP " + std::to_string(answer.status) + " to " + target;
        return false;
    }
    return true;
}

std::string headerOf(const HttpAnswer& answer, const char* name) {
    const auto found = answer.headers.find(name);
    return found == answer.headers.end() ? "" : std::string(found->value());
}

// The page from the JSON Lines and its headers: Read, Refused, or NeedsIdentity also for a
// station that gives no stream header (one from before it).
JsonlPage jsonlPage(const HttpAnswer& answer, std::int64_t since, StationPage& page,
                    std::string& problem) {
    if (answer.headers.find("X-Pxr7-Stream") == answer.headers.end()) {
        return JsonlPage::NeedsIdentity;
    }
    const SinceHeaders headers{headerOf(answer, "X-Pxr7-Next-Since"),
                               headerOf(answer, "X-Pxr7-More"), headerOf(answer, "X-Pxr7-Stream")};
    return parseJsonlPage(answer.body, headers, since, kStationPageLines, page, problem);
}

} // namespace

bool parseStationUrl(const std::string& url, StationAddress& address, std::string& problem) {
    address.tls = url.rfind("https://", 0) == 0;
    const std::string scheme = address.tls ? "https://" : "http://";
    std::string rest = url.rfind(scheme, 0) == 0 ? url.substr(scheme.size()) : "";
    if (!rest.empty() && rest.back() == '/') {
        rest.pop_back();
    }
    const std::size_t colon = rest.rfind(':');
    const bool bracketed = !rest.empty() && rest.front() == '[';
    const std::string host = colon == std::string::npos ? "" : rest.substr(0, colon);
    address.port = colon == std::string::npos ? "" : rest.substr(colon + 1);
    address.host =
        bracketed && host.size() > 2 && host.back() == ']' ? host.substr(1, host.size() - 2) : host;
    const bool portOk = !address.port.empty() && address.port.size() <= 5 &&
                        address.port.find_first_not_of("0123456789") == std::string::npos;
    const bool hostOk = !address.host.empty() &&
                        address.host.find_first_of("/?#@ []") == std::string::npos &&
                        (bracketed || host.find(':') == std::string::npos);
    if (!portOk || !hostOk) {
        problem = "not an http://HOST:PORT or https://HOST:PORT address";
        return false;
    }
    return true;
}

bool fetchStationPage(const StationAddress& address, std::int64_t since, StationPage& page,
                      std::string& problem, const CollectStop& stop) {
    const std::string query = "?since=" + std::to_string(since) + "&per_page=";
    HttpAnswer answer;
    if (!getOk(address, "/api/history.jsonl" + query + std::to_string(kStationPageLines), answer,
               problem, stop)) {
        return false;
    }
    const JsonlPage read = jsonlPage(answer, since, page, problem);
    if (read != JsonlPage::NeedsIdentity) {
        return read == JsonlPage::Read;
    }
    // The lines' identity from the page of JSON, then their bytes: the first ones after since.
    if (!getOk(address, "/api/history" + query + std::to_string(kStationPageLines), answer, problem,
               stop) ||
        !parseSincePage(answer.body, since, kStationPageLines, page, problem)) {
        return false;
    }
    if (page.lines.empty()) {
        return true;
    }
    return getOk(address, "/api/history.jsonl" + query + std::to_string(page.lines.size()), answer,
                 problem, stop) &&
           attachLineBytes(answer.body, page, problem);
}

} // namespace pxr7
