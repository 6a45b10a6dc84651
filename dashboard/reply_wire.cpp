#include "reply_wire.h"

#include <boost/beast/http/status.hpp>

#include <cstdlib>

namespace pxr7 {

namespace http = boost::beast::http;

namespace {

// The last coding named, as a request lists them ("gzip, chunked" ends in chunked).
std::string lastCoding(const std::string& value) {
    const std::size_t comma = value.rfind(',');
    std::string last = comma == std::string::npos ? value : value.substr(comma + 1);
    const std::size_t begin = last.find_first_not_of(" \t");
    const std::size_t end = last.find_last_not_of(" \t");
    return begin == std::string::npos ? "" : asciiLowered(last.substr(begin, end - begin + 1));
}

} // namespace

std::string replyHead(const HttpReply& reply, unsigned version, bool keepAlive, BodyShape shape,
                      std::size_t length) {
    const auto status = static_cast<http::status>(reply.status);
    std::string head = version == 10 ? "HTTP/1.0 " : "HTTP/1.1 ";
    head += std::to_string(reply.status) + " " + std::string(http::obsolete_reason(status));
    head += "\r\nServer: pxr7\r\n";
    if (!reply.contentType.empty()) {
        head += "Content-Type: " + reply.contentType + "\r\n";
    }
    for (const auto& header : reply.headers) {
        head += header.first + ": " + header.second + "\r\n";
    }
    if (shape == BodyShape::Length) {
        head += "Content-Length: " + std::to_string(length) + "\r\n";
    } else if (shape == BodyShape::Chunked) {
        head += "Transfer-Encoding: chunked\r\n";
    }
    if (!keepAlive) {
        head += "Connection: close\r\n";
    } else if (version == 10) {
        head += "Connection: keep-alive\r\n";
    }
    return head + "\r\n";
}

std::string chunkFrame(const std::string& bytes) {
    if (bytes.empty()) {
        return "";
    }
    static const char kHex[] = "0123456789abcdef";
    std::string size;
    for (std::size_t left = bytes.size(); left > 0; left /= 16) {
        size.insert(size.begin(), kHex[left % 16]);
    }
    return size + "\r\n" + bytes + "\r\n";
}

std::string streamHead(const HttpReply& reply) {
    std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream; charset=utf-8\r\n";
    for (const auto& header : reply.headers) {
        head += header.first + ": " + header.second + "\r\n";
    }
    return head + "Connection: close\r\n\r\nretry: 2000\n\n";
}

std::optional<HttpReply> refusedHead(const http::request_header<>& head) {
    if (head.count(http::field::host) > 1) {
        return errorReply(400, "a request names one Host");
    }
    const auto coding = head.find(http::field::transfer_encoding);
    if (coding != head.end()) {
        if (lastCoding(std::string(coding->value())) != "chunked") {
            return errorReply(400, "a request's body must be chunked last");
        }
        return errorReply(413, "the dashboard takes no request body");
    }
    for (const auto& field : head) {
        // The parser has taken its digits already.
        if (field.name() == http::field::content_length &&
            std::strtoull(std::string(field.value()).c_str(), nullptr, 10) != 0) {
            return errorReply(413, "the dashboard takes no request body");
        }
    }
    return std::nullopt;
}

} // namespace pxr7
