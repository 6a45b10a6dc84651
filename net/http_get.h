// One HTTP/1.1 GET with Boost.Beast, for whoever reads a station: the collector and the
// overview. One connection per request under one deadline for all of it (resolve, connect,
// TLS, header, body), so a station that stalls or trickles costs only its own caller; a size
// cap counted here; a stop asked for ends the request within a tenth of a second. What the
// outcome is called is the caller's to say.
#pragma once

#include "http_url.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace pxr7 {

struct HttpGet {
    HttpUrl url;
    std::string target = "/"; // path and query
    std::string key;          // sent as "Authorization: Bearer KEY"; "" none
    std::string caFile;       // https://: PEM certificates the station's is checked against; ""
                              // the system's
    std::string userAgent;    // "" none sent
    std::chrono::milliseconds deadline{10000};
    std::size_t maxBytes = 16u << 20;
    std::function<bool()> stop; // asks the request under way to end now; empty: never
};

enum class HttpGetOutcome {
    Answered, // with a status (any), its headers and its whole body
    TooLarge, // declared (declaredBytes) or sent over maxBytes; the rest left unread
    Late,     // not done by the deadline
    Stopped,  // stop said so
    Failed,   // no answer: problem says why (refused, reset, TLS, a broken answer)
};

struct HttpGetResult {
    HttpGetOutcome outcome = HttpGetOutcome::Failed;
    std::string problem;             // Failed: the reason, in the library's or our words
    std::uint64_t declaredBytes = 0; // TooLarge: the Content-Length given; 0 when it ran over
    unsigned status = 0;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    // The value of the header name (any case), or nullptr when the answer has none.
    const std::string* header(const std::string& name) const;
};

HttpGetResult httpGet(const HttpGet& request);

} // namespace pxr7
