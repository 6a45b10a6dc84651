#include "http_fetch.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <memory>

namespace pxr7 {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace asio = boost::asio;
using tcp = asio::ip::tcp;

struct Address {
    std::string host, port = "80", hostHeader, prefix;
};

bool parseBase(const std::string& base, Address& address) {
    const std::string scheme = "http://";
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

    void finish(const beast::error_code& error) {
        failure = error;
        done = true;
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
            error ? finish(error) : send();
        });
    }
    void send() {
        http::async_write(stream, request, [this](const beast::error_code& error, std::size_t) {
            error ? finish(error) : receive();
        });
    }
    void receive() {
        http::async_read(stream, buffer, parser,
                         [this](const beast::error_code& error, std::size_t) { finish(error); });
    }
};

} // namespace

bool httpGet(const std::string& base, const std::string& path, std::chrono::milliseconds deadline,
             std::string& body, std::string& problem, const std::atomic<bool>* cancel,
             std::size_t maxBytes, const std::string& key) {
    Address address;
    if (!parseBase(base, address)) {
        problem = "not an address of the form http://HOST:PORT";
        return false;
    }
    auto exchange = std::make_unique<Exchange>();
    exchange->request = {http::verb::get, address.prefix + path, 11};
    exchange->request.set(http::field::host, address.hostHeader);
    exchange->request.set(http::field::connection, "close");
    if (!key.empty()) {
        exchange->request.set(http::field::authorization, "Bearer " + key);
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
