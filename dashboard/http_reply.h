// What the dashboard answers a request with, before it goes on the wire; and a request's target
// taken apart. The server (http_server.*) is the only part that sees sockets: everything that
// decides what to answer works on these values and is tested without a network.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace pxr7 {

struct HttpReply {
    int status = 200;
    std::string contentType; // "" for a reply without a body (a redirect)
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers; // besides the type and the length
};

using QueryParams = std::map<std::string, std::string>;

struct RequestTarget {
    std::string path;   // decoded, e.g. "/api/history"
    QueryParams params; // decoded; a name given twice keeps its first value
    bool valid = true;  // false: a malformed escape, a NUL, or a path that is not absolute
};

// Takes "/api/history?result=ok&unit=U%201" apart: %XX escapes and '+' as a blank in the query.
RequestTarget parseTarget(const std::string& target);

// A reply with a JSON body, or {"error": text}.
HttpReply jsonReply(int status, std::string body);
HttpReply errorReply(int status, const std::string& text);

} // namespace pxr7
