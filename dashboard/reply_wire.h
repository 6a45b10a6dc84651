// How a reply goes on the wire: its head, a streamed body's chunked coding, the event stream's
// head, and the checks on a request's head before anything is answered. Text in, text out.
#pragma once

#include "http_reply.h"

#include <boost/beast/http/fields.hpp>
#include <boost/beast/http/message.hpp>

#include <optional>
#include <string>

namespace pxr7 {

// What follows a reply's head.
enum class BodyShape {
    Length,     // Content-Length: the body's bytes
    Chunked,    // HTTP/1.1, a body made as it is sent
    UntilClose, // HTTP/1.0, a body made as it is sent: its end is the connection's
};

// version: the request's, 10 or 11. length: for BodyShape::Length.
std::string replyHead(const HttpReply& reply, unsigned version, bool keepAlive, BodyShape shape,
                      std::size_t length);
// One chunk of a chunked body; "" for no bytes (an empty chunk would end the body).
std::string chunkFrame(const std::string& bytes);
constexpr char kLastChunk[] = "0\r\n\r\n";

// The head of the event stream, and its first line (the page's retry delay).
std::string streamHead(const HttpReply& reply);

// A request whose head the dashboard will not answer: a second Host, a body (413) or a
// transfer coding (400 when it is not chunked). nullopt: go on.
std::optional<HttpReply> refusedHead(const boost::beast::http::request_header<>& head);

} // namespace pxr7
