#include "fake_station.h"

#include "record.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace pxr7::test {

namespace {

constexpr std::uint64_t kHugeBytes = 200ull << 20;
constexpr std::size_t kChunk = 64u << 10;
constexpr std::int64_t kFirstSeq = 1;

std::string recordLineOf(const std::string& bench, std::int64_t seq) {
    RecordEntry entry;
    entry.bench = bench;
    entry.seq = seq;
    entry.command = "station";
    entry.started = entry.finished = "2026-12-09T08:00:00Z";
    entry.leadSerial = "PX7A0001";
    entry.result = "ok";
    return recordLine(entry);
}

std::int64_t queryNumber(const std::string& target, const std::string& name, std::int64_t dflt) {
    const std::size_t at = target.find(name + "=");
    return at == std::string::npos
               ? dflt
               : std::strtoll(target.c_str() + at + name.size() + 1, nullptr, 10);
}

} // namespace

struct FakeStation::Impl {
    StationMode mode;
    std::string bench;
    int listener = -1;
    int port = 0;
    std::atomic<bool> stopping{false};
    std::atomic<std::uint64_t> bodyBytes{0};
    std::mutex mutex; // lines, connections
    std::vector<std::string> lines;
    std::vector<std::thread> connections;
    std::thread acceptor;

    // Waits until fd is ready for events; false once the station is going.
    bool ready(int fd, short events) {
        while (!stopping) {
            pollfd one{fd, events, 0};
            const int n = ::poll(&one, 1, 50);
            if (n > 0) {
                return true;
            }
        }
        return false;
    }
    bool sendAll(int fd, const std::string& bytes) {
        for (std::size_t sent = 0; sent < bytes.size();) {
            if (!ready(fd, POLLOUT)) {
                return false;
            }
            const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                return false;
            }
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }
    std::string readRequest(int fd) {
        std::string head;
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos && ready(fd, POLLIN)) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                return "";
            }
            head.append(buffer, static_cast<std::size_t>(n));
        }
        const std::size_t space = head.find(' ');
        return space == std::string::npos
                   ? ""
                   : head.substr(space + 1, head.find(' ', space + 1) - space - 1);
    }

    // The seqs of the page after since: the record's own, or made up for the hostile modes.
    std::vector<std::string> pageLines(std::int64_t since, std::int64_t perPage) {
        std::vector<std::string> page;
        const std::int64_t first = std::max<std::int64_t>(since, 0) + kFirstSeq;
        if (mode == StationMode::Live) {
            const std::lock_guard<std::mutex> lock(mutex);
            const auto size = static_cast<std::int64_t>(lines.size());
            for (std::int64_t seq = first; seq <= size && seq < first + perPage; ++seq) {
                page.push_back(lines[static_cast<std::size_t>(seq - 1)]);
            }
            return page;
        }
        const std::int64_t count = mode == StationMode::OverPage   ? perPage + 1
                                   : mode == StationMode::Slow     ? 0
                                   : mode == StationMode::LongLine ? 1
                                                                   : perPage;
        for (std::int64_t seq = first; seq < first + count; ++seq) {
            page.push_back(recordLineOf(bench, seq));
        }
        if (mode == StationMode::LongLine) {
            page.back().insert(page.back().size() - 1,
                               ",\"pad\":\"" + std::string(4u << 20, 'a') + "\"");
        }
        return page;
    }

    std::string body(const std::string& target) {
        const std::int64_t since = queryNumber(target, "since", 0);
        const std::int64_t perPage = queryNumber(target, "per_page", 500);
        const std::vector<std::string> page = pageLines(since, perPage);
        const std::int64_t first = std::max<std::int64_t>(since, 0) + kFirstSeq;
        if (target.rfind("/api/history.jsonl", 0) == 0) {
            std::string jsonl;
            for (const std::string& line : page) {
                jsonl += line + "\n";
            }
            return jsonl;
        }
        std::string items;
        for (std::size_t i = 0; i < page.size(); ++i) {
            const std::string seq = std::to_string(first + static_cast<std::int64_t>(i));
            items += std::string(i ? "," : "") + R"({"line":)" + seq + R"(,"bench":")" + bench +
                     R"(","seq":)" + seq + "}";
        }
        bool more = mode == StationMode::Endless;
        if (mode == StationMode::Live) {
            const std::lock_guard<std::mutex> lock(mutex);
            more = first - 1 + static_cast<std::int64_t>(page.size()) <
                   static_cast<std::int64_t>(lines.size());
        }
        const std::int64_t next =
            page.empty() ? since : first + static_cast<std::int64_t>(page.size()) - 1;
        return R"({"schema":1,"next_since":)" + std::to_string(next) + R"(,"more":)" +
               (more ? "true" : "false") + R"(,"lines":[)" + items + "]}";
    }

    // 200 MB offered, as long as the collector reads; the header and the first bytes go out
    // in one write, as a station's answer often does.
    void streamHuge(int fd) {
        const bool chunked = mode == StationMode::HugeChunked;
        std::string head =
            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\n";
        head += chunked ? "Transfer-Encoding: chunked\r\n\r\n"
                        : "Content-Length: " + std::to_string(kHugeBytes) + "\r\n\r\n";
        const std::string filler(kChunk, ' ');
        std::string piece = chunked ? "10000\r\n" + filler + "\r\n" : filler;
        std::string out = head + piece;
        for (std::uint64_t sent = 0; sent < kHugeBytes; sent += kChunk) {
            if (!sendAll(fd, out)) {
                return;
            }
            bodyBytes += kChunk;
            out = piece;
        }
    }

    void answer(int fd) {
        const std::string target = readRequest(fd);
        if (target.empty()) {
            return;
        }
        if (mode == StationMode::Silent) {
            while (!stopping) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            return;
        }
        if (mode == StationMode::HugeDeclared || mode == StationMode::HugeChunked) {
            return streamHuge(fd);
        }
        if (mode == StationMode::Slow) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(9);
            while (!stopping && std::chrono::steady_clock::now() < until) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
        const std::string text = body(target);
        if (sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                            std::to_string(text.size()) + "\r\nConnection: close\r\n\r\n" + text)) {
            bodyBytes += text.size();
        }
    }

    void acceptLoop() {
        while (ready(listener, POLLIN)) {
            const int fd = ::accept(listener, nullptr, nullptr);
            if (fd < 0) {
                continue;
            }
            const std::lock_guard<std::mutex> lock(mutex);
            connections.emplace_back([this, fd] {
                answer(fd);
                ::close(fd);
            });
        }
    }
};

FakeStation::FakeStation(StationMode mode, std::string bench) : impl_(std::make_unique<Impl>()) {
    impl_->mode = mode;
    impl_->bench = std::move(bench);
    impl_->listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(impl_->listener, reinterpret_cast<sockaddr*>(&address), size);
    ::listen(impl_->listener, 64);
    ::getsockname(impl_->listener, reinterpret_cast<sockaddr*>(&address), &size);
    impl_->port = ntohs(address.sin_port);
    impl_->acceptor = std::thread([this] { impl_->acceptLoop(); });
}

FakeStation::~FakeStation() {
    impl_->stopping = true;
    impl_->acceptor.join();
    for (std::thread& connection : impl_->connections) {
        connection.join();
    }
    ::close(impl_->listener);
}

std::string FakeStation::url() const {
    return "http://127.0.0.1:" + std::to_string(impl_->port);
}

std::int64_t FakeStation::addLines(int count) {
    const std::lock_guard<std::mutex> lock(impl_->mutex);
    for (int i = 0; i < count; ++i) {
        const auto seq = static_cast<std::int64_t>(impl_->lines.size()) + kFirstSeq;
        impl_->lines.push_back(recordLineOf(impl_->bench, seq));
    }
    return static_cast<std::int64_t>(impl_->lines.size());
}

std::uint64_t FakeStation::bodyBytesSent() const {
    return impl_->bodyBytes;
}

} // namespace pxr7::test
