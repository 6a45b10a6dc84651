// What the dashboard answers a request with, before it goes on the wire; and a request's target
// taken apart. The server (http_server.*) is the only part that sees sockets: everything that
// decides what to answer works on these values and is tested without a network.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace pxr7 {

// A body made as it is sent: each call appends its next part to chunk and says whether more
// follows. Failed ends the answer cut short (no last chunk, the connection closed), so that a
// client sees it is incomplete. Called on a worker thread, never on the I/O thread, one call at
// a time, and not at all for HEAD; it may block on a file or the database.
enum class Chunk { More, Done, Failed };
using BodyChunks = std::function<Chunk(std::string& chunk)>;

struct HttpReply {
    int status = 200;
    std::string contentType; // "" for a reply without a body (a redirect)
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers; // besides the type and the length
    BodyChunks chunks; // set: the body is sent chunked, as chunks gives it, after body
};

using QueryParams = std::map<std::string, std::string>;

struct RequestTarget {
    std::string path;   // decoded, e.g. "/api/history"
    QueryParams params; // decoded; a name given twice keeps its first value
    bool valid = true;  // false: a malformed escape, a NUL, or a path that is not absolute
};

// Takes "/api/history?result=ok&unit=U%201" apart: %XX escapes and '+' as a blank in the query.
RequestTarget parseTarget(const std::string& target);

// A request's names (a host, a coding) compared as HTTP does: ASCII letters in lower case.
std::string asciiLowered(std::string text);

// A reply with a JSON body, or {"error": text}.
HttpReply jsonReply(int status, std::string body);
HttpReply errorReply(int status, const std::string& text);

} // namespace pxr7
