// A station's record, a page at a time, over its dashboard's read-only API: the lines after a
// seq with their identity (GET /api/history?since=) and their bytes as they stand in the record
// (GET /api/history.jsonl?since=, the same lines). An answer is checked before anything in it
// is used; one that does not hold together is the station's problem and never stored.
#pragma once

#include "http_url.h"
#include "json_text.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pxr7 {

// Whether the caller asks the work under way to end now.
using CollectStop = std::function<bool()>;

// Where the station is (https://: its certificate checked against caFile's) and how to ask.
struct StationAddress : HttpUrl {
    std::string caFile; // PEM certificates; "" the system's
    std::string key;    // sent as "Authorization: Bearer KEY"; "" none
};

// Only http://HOST:PORT or https://HOST:PORT, with or without a final "/" (parseHttpUrl).
bool parseStationUrl(const std::string& url, StationAddress& address, std::string& problem);

struct StationLine {
    std::string bench;
    std::int64_t seq = 0;
    std::string bytes; // the record line as it stands, without its line break
    JsonValue object;  // the bytes parsed, once, by whoever made the line
};

// A line with its bytes parsed.
StationLine stationLine(std::string bench, std::int64_t seq, std::string bytes);

struct StationPage {
    std::vector<StationLine> lines; // seq rising, all above the since asked for
    std::int64_t nextSince = 0;
    bool more = false;
    // The stream of the record's last line ("" when none, or from a station before streams): a
    // record whose stream changed may hold lines below since that were never read.
    std::string stream;
};

// What the headers of /api/history.jsonl?since= say: X-Pxr7-Next-Since, X-Pxr7-More and
// X-Pxr7-Stream (the stream id, empty when the record's last line has none).
struct SinceHeaders {
    std::string nextSince, more, stream;
};

enum class JsonlPage {
    Read,          // the page, each line's identity its own
    NeedsIdentity, // a line written before seqs: its derived seq is on the page of JSON alone
    Refused,       // it does not hold together: problem says why
};

// The answer of /api/history.jsonl?since=since&per_page=asked as a page, from its lines and
// headers alone: the same checks as the page of JSON and its lines' bytes together.
JsonlPage parseJsonlPage(const std::string& jsonl, const SinceHeaders& headers, std::int64_t since,
                         std::size_t asked, StationPage& page, std::string& problem);

// The answer of /api/history?since=since&per_page=asked: lines with bench and seq, their bytes
// not yet known. A page of more lines than asked for is refused.
bool parseSincePage(const std::string& body, std::int64_t since, std::size_t asked,
                    StationPage& page, std::string& problem);
// Gives the page's lines their bytes from the /api/history.jsonl answer for the same lines; a
// line over the record's own limit (kMaxRecordLineBytes) is refused.
bool attachLineBytes(const std::string& jsonl, StationPage& page, std::string& problem);

constexpr std::size_t kStationPageLines = 500;
// Far above a page of real lines (about 600 bytes each), and below what would make the
// collector's memory a station's to choose: a larger answer is refused, however it is sent.
constexpr std::size_t kMaxAnswerBytes = 32u << 20;
// For the whole of one request: connect, header and body.
constexpr std::chrono::seconds kStationTimeout{10};

// One page after since: from the JSON Lines alone where the station gives the stream as a
// header and every line has its own seq, from the page of JSON and the JSON Lines otherwise.
// False with the reason when the station cannot be reached or does not
// answer within kStationTimeout, answers something else than 200, its answer is over
// kMaxAnswerBytes, or does not hold together (or stop said so).
bool fetchStationPage(const StationAddress& address, std::int64_t since, StationPage& page,
                      std::string& problem, const CollectStop& stop);

} // namespace pxr7
