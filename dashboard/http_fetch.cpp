#include "http_fetch.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#if defined(PXR7_HAVE_TLS)
#include <boost/asio/ssl.hpp>

#include <openssl/ssl.h>
#endif

#include <memory>
#include <optional>

namespace pxr7 {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace asio = boost::asio;
using tcp = asio::ip::tcp;

struct Address {
    std::string host, port = "80", hostHeader, prefix;
    bool tls = false;
};

bool parseBase(const std::string& base, Address& address) {
    address.tls = base.compare(0, 8, "https://") == 0;
    const std::string scheme = address.tls ? "https://" : "http://";
    if (address.tls) {
        address.port = "443";
    }
    if (base.compare(0, scheme.size(), scheme) != 0) {
        return false;
    }
    std::string rest = base.substr(scheme.size());
    const std::size_t slash = rest.find('/');
    if (slash != std::string::npos) {
        address.prefix = rest.substr(slash);
        rest.erase(slash);
        while (!address.prefix.empty() && address.prefix.back() == '/') {
            address.prefix.pop_back();
        }
    }
    address.hostHeader = rest;
    const std::size_t colon = rest.rfind(':');
    if (colon != std::string::npos && rest.find(']', colon) == std::string::npos) {
        address.port = rest.substr(colon + 1);
        rest.erase(colon);
    }
    if (rest.size() > 2 && rest.front() == '[' && rest.back() == ']') {
        rest = rest.substr(1, rest.size() - 2);
    }
    address.host = rest;
    return !address.host.empty() && !address.port.empty();
}

// One exchange on its own io_context: resolve, connect, write, read; whatever is not done
// by the deadline is abandoned.
struct Exchange {
    asio::io_context io;
    tcp::resolver resolver{io};
    beast::tcp_stream stream{io};
    beast::flat_buffer buffer;
    http::request<http::empty_body> request;
    http::response_parser<http::string_body> parser;
    beast::error_code failure;
    bool done = false;
#if defined(PXR7_HAVE_TLS)
    std::optional<asio::ssl::context> context;
    std::optional<asio::ssl::stream<beast::tcp_stream&>> tls;
#endif

    void finish(const beast::error_code& error) {
        failure = error;
        done = true;
    }
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
    // Over TLS, the certificate checked against caFile's (or the system's) and the host's name.
    bool useTls(const Address& address, const std::string& caFile, std::string& problem) {
#if defined(PXR7_HAVE_TLS)
        context.emplace(asio::ssl::context::tls_client);
        context->set_options(asio::ssl::context::default_workarounds |
                             asio::ssl::context::no_sslv2 | asio::ssl::context::no_sslv3 |
                             asio::ssl::context::no_tlsv1 | asio::ssl::context::no_tlsv1_1);
        beast::error_code error;
        caFile.empty() ? context->set_default_verify_paths(error)
                       : context->load_verify_file(caFile, error);
        if (error) {
            problem = "the certificates to check it against cannot be read: " + error.message();
            return false;
        }
        context->set_verify_mode(asio::ssl::verify_peer);
        tls.emplace(stream, *context);
        tls->set_verify_callback(asio::ssl::host_name_verification(address.host));
        beast::error_code isAddress;
        asio::ip::make_address(address.host, isAddress);
        if (isAddress) {
            SSL_set_tlsext_host_name(tls->native_handle(), address.host.c_str());
        }
        return true;
#else
        (void)address;
        (void)caFile;
        problem = "this build has no TLS for an https:// station";
        return false;
#endif
    }
    void run(const Address& address) {
        resolver.async_resolve(
            address.host, address.port,
            [this](const beast::error_code& error, const tcp::resolver::results_type& results) {
                error ? finish(error) : connect(results);
            });
    }
    void connect(const tcp::resolver::results_type& results) {
        stream.async_connect(results, [this](const beast::error_code& error, const auto&) {
            error ? finish(error) : handshake();
        });
    }
    void handshake() {
#if defined(PXR7_HAVE_TLS)
        if (tls) {
            tls->async_handshake(
                asio::ssl::stream_base::client,
                [this](const beast::error_code& error) { error ? finish(error) : send(); });
            return;
        }
#endif
        send();
    }
    void send() {
        onStream([this](auto& s) {
            http::async_write(s, request, [this](const beast::error_code& error, std::size_t) {
                error ? finish(error) : receive();
            });
        });
    }
    void receive() {
        onStream([this](auto& s) {
            http::async_read(
                s, buffer, parser,
                [this](const beast::error_code& error, std::size_t) { finish(error); });
        });
    }
};

} // namespace

bool httpGet(const std::string& base, const std::string& path, std::chrono::milliseconds deadline,
             std::string& body, std::string& problem, const std::atomic<bool>* cancel,
             std::size_t maxBytes, const StationAccess& access) {
    Address address;
    if (!parseBase(base, address)) {
        problem = "not an address of the form http://HOST:PORT";
        return false;
    }
    auto exchange = std::make_unique<Exchange>();
    if (address.tls && !exchange->useTls(address, access.caFile, problem)) {
        return false;
    }
    exchange->request = {http::verb::get, address.prefix + path, 11};
    exchange->request.set(http::field::host, address.hostHeader);
    exchange->request.set(http::field::connection, "close");
    if (!access.key.empty()) {
        exchange->request.set(http::field::authorization, "Bearer " + access.key);
    }
    exchange->parser.body_limit(maxBytes);
    exchange->stream.expires_after(deadline);
    exchange->run(address);
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!exchange->done && std::chrono::steady_clock::now() < end &&
           !(cancel != nullptr && *cancel)) {
        exchange->io.run_for(std::chrono::milliseconds(100));
    }
    if (!exchange->done) {
        problem = "no answer within " + std::to_string(deadline.count()) + " ms";
        return false;
    }
    if (exchange->failure) {
        problem = exchange->failure.message();
        return false;
    }
    const auto& response = exchange->parser.get();
    if (response.result_int() != 200) {
        problem = "it answered HTTP " + std::to_string(response.result_int());
        return false;
    }
    body = response.body();
    return true;
}

} // namespace pxr7
