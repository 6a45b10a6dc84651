// The overview's GET: net/'s, with the overview's words for what went wrong.
#include "http_fetch.h"

#include "http_get.h"

namespace pxr7 {

bool httpGet(const std::string& base, const std::string& path, std::chrono::milliseconds deadline,
             std::string& body, std::string& problem, const std::atomic<bool>* cancel,
             std::size_t maxBytes, const StationAccess& access) {
    HttpGet asked;
    std::string unused;
    if (!parseHttpUrl(base, asked.url, unused)) {
        problem = "not an address of the form http://HOST:PORT";
        return false;
    }
    asked.target = path;
    asked.key = access.key;
    asked.caFile = access.caFile;
    asked.deadline = deadline;
    asked.maxBytes = maxBytes;
    if (cancel != nullptr) {
        asked.stop = [cancel] { return cancel->load(); };
    }
    HttpGetResult got = httpGet(asked);
    switch (got.outcome) {
    case HttpGetOutcome::Answered:
        break;
    case HttpGetOutcome::TooLarge:
        problem = "body limit exceeded"; // Beast's words, as the overview has always said
        return false;
    case HttpGetOutcome::Late:
    case HttpGetOutcome::Stopped:
        problem = "no answer within " + std::to_string(deadline.count()) + " ms";
        return false;
    case HttpGetOutcome::Failed:
        problem = got.problem;
        return false;
    }
    if (got.status != 200) {
        problem = "it answered HTTP " + std::to_string(got.status);
        return false;
    }
    body = std::move(got.body);
    return true;
}

} // namespace pxr7
