// The station's pages over net/'s one GET: the collector's user agent, its timeout and cap
// and its words for them.
#include "station_client.h"

#include "http_get.h"

namespace pxr7 {

namespace {

std::string capWords() {
    return std::to_string(kMaxAnswerBytes >> 20) + " MiB the collector takes";
}

// The problem's words for a GET that did not come back whole.
std::string collectorWords(const HttpGetResult& got) {
    switch (got.outcome) {
    case HttpGetOutcome::TooLarge:
        return got.declaredBytes != 0 ? "its answer is " + std::to_string(got.declaredBytes) +
                                            " bytes, over the " + capWords()
                                      : "its answer runs over the " + capWords();
    case HttpGetOutcome::Late:
        return "it did not answer within " + std::to_string(kStationTimeout.count()) + " s";
    case HttpGetOutcome::Stopped:
        return "stopped";
    default:
        return got.problem;
    }
}

bool httpGetOf(const StationAddress& address, const std::string& target, HttpGetResult& answer,
               std::string& problem, const CollectStop& stop) {
    HttpGet asked;
    asked.url = address;
    asked.target = target;
    asked.key = address.key;
    asked.caFile = address.caFile;
    asked.userAgent = "pxr7-collect";
    asked.deadline = kStationTimeout;
    asked.maxBytes = kMaxAnswerBytes;
    asked.stop = stop;
    answer = httpGet(asked);
    if (answer.outcome != HttpGetOutcome::Answered) {
        problem = collectorWords(answer);
        return false;
    }
    return true;
}

bool getOk(const StationAddress& address, const std::string& target, HttpGetResult& answer,
           std::string& problem, const CollectStop& stop) {
    if (!httpGetOf(address, target, answer, problem, stop)) {
        return false;
    }
    if (answer.status != 200) {
        problem = "it answered HTTP " + std::to_string(answer.status) + " to " + target;
        return false;
    }
    return true;
}

std::string headerOf(const HttpGetResult& answer, const char* name) {
    const std::string* found = answer.header(name);
    return found == nullptr ? "" : *found;
}

// The page from the JSON Lines and its headers: Read, Refused, or NeedsIdentity also for a
// station that gives no stream header (one from before it).
JsonlPage jsonlPage(const HttpGetResult& answer, std::int64_t since, StationPage& page,
                    std::string& problem) {
    if (answer.header("X-Pxr7-Stream") == nullptr) {
        return JsonlPage::NeedsIdentity;
    }
    const SinceHeaders headers{headerOf(answer, "X-Pxr7-Next-Since"),
                               headerOf(answer, "X-Pxr7-More"), headerOf(answer, "X-Pxr7-Stream")};
    return parseJsonlPage(answer.body, headers, since, kStationPageLines, page, problem);
}

} // namespace

bool parseStationUrl(const std::string& url, StationAddress& address, std::string& problem) {
    return parseHttpUrl(url, address, problem);
}

bool fetchStationPage(const StationAddress& address, std::int64_t since, StationPage& page,
                      std::string& problem, const CollectStop& stop) {
    const std::string query = "?since=" + std::to_string(since) + "&per_page=";
    HttpGetResult answer;
    if (!getOk(address, "/api/history.jsonl" + query + std::to_string(kStationPageLines), answer,
               problem, stop)) {
        return false;
    }
    const JsonlPage read = jsonlPage(answer, since, page, problem);
    if (read != JsonlPage::NeedsIdentity) {
        return read == JsonlPage::Read;
    }
    // The lines' identity from the page of JSON, then their bytes: the first ones after since.
    if (!getOk(address, "/api/history" + query + std::to_string(kStationPageLines), answer, problem,
               stop) ||
        !parseSincePage(answer.body, since, kStationPageLines, page, problem)) {
        return false;
    }
    if (page.lines.empty()) {
        return true;
    }
    return getOk(address, "/api/history.jsonl" + query + std::to_string(page.lines.size()), answer,
                 problem, stop) &&
           attachLineBytes(answer.body, page, problem);
}

} // namespace pxr7
