// The server over real loopback sockets, for the tests: a client that speaks HTTP by hand, so a
// test sees exactly what goes over the wire, and a server with a feed and a history of its own.
#pragma once

#include "dashboard_routes.h"
#include "history_api.h"
#include "http_server.h"
#include "live_feed.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace pxr7 {

class RawClient {
public:
    // windowBytes: the socket's receive buffer, set before it connects (0: the system's own);
    // from: the loopback address to connect from (nullptr: the system's choice, 127.0.0.1).
    explicit RawClient(unsigned short port, int windowBytes = 0, const char* from = nullptr) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        if (windowBytes > 0) {
            setReceiveBuffer(windowBytes);
        }
        if (from != nullptr) {
            sockaddr_in local{};
            local.sin_family = AF_INET;
            inet_pton(AF_INET, from, &local.sin_addr);
            bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        timeval wait{5, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    }
    ~RawClient() { close(fd_); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return connected_; }
    int fd() const { return fd_; }
    void send(const std::string& text) {
        (void)::send(fd_, text.data(), text.size(), MSG_NOSIGNAL);
    }
    // Sends no more: a server that lingers to read the rest of a refused request sees the end.
    void finishSending() { shutdown(fd_, SHUT_WR); }
    // At least the answer's headers (or what came within 5 s): the server has taken the
    // request once they arrive.
    std::string readHead() { return readUntil("\r\n\r\n"); }
    // Until the text holds needle, the server closes, or 5 s pass without a byte.
    std::string readUntil(const std::string& needle) {
        std::string text;
        while (text.find(needle) == std::string::npos && readSome(text)) {
        }
        return text;
    }
    // Everything until the server closes (or 5 s of silence: then closedByServer() is false).
    std::string readAll() {
        std::string text;
        while (readSome(text)) {
        }
        return text;
    }
    bool closedByServer() const { return closed_; }
    // Waits up to ms for the server to cut the connection (a reset, or its end once read),
    // without reading: true when it did.
    bool awaitCut(int ms) {
        pollfd watched{fd_, POLLRDHUP, 0};
        return poll(&watched, 1, ms) == 1 && (watched.revents & (POLLRDHUP | POLLHUP | POLLERR));
    }
    // Opens a small window wide: what the server had queued before it let the client go then
    // arrives in a few round trips, not a few kilobytes a round trip.
    void wideWindow() { setReceiveBuffer(1 << 20); }

private:
    bool readSome(std::string& text) {
        char buffer[4096];
        const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
        if (got > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
            return true;
        }
        closed_ = got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
        return false;
    }
    void setReceiveBuffer(int bytes) {
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    }

    int fd_ = -1;
    bool connected_ = false;
    bool closed_ = false;
};

// history: the source to answer from; nullptr for a record that is not there.
struct ServerRig {
    explicit ServerRig(ServerLimits limits = {}, HistorySource* history = nullptr)
        : routes(history != nullptr ? *history : missing, &feed), server(routes, &feed, limits) {
        std::string problem;
        EXPECT_TRUE(server.start(ServeAddress{}, problem)) << problem;
    }
    std::string host() const { return "Host: 127.0.0.1:" + std::to_string(server.port()); }
    std::string request(const std::string& text) {
        RawClient client(server.port());
        client.send(text);
        return client.readAll();
    }
    std::string get(const std::string& target, const std::string& method = "GET") {
        return request(method + " " + target + " HTTP/1.1\r\n" + host() +
                       "\r\nConnection: close\r\n\r\n");
    }
    HistoryApi missing{"/nonexistent/record.jsonl"};
    LiveFeed feed{LiveFeedSettings{}};
    DashboardRoutes routes;
    DashboardServer server;
};

inline std::string statusLine(const std::string& response) {
    return response.substr(0, response.find("\r\n"));
}

} // namespace pxr7
