// What the collector takes from a station: only an answer that holds together, and only
// http://HOST:PORT addresses. No server needed.
#include "collector.h"
#include "record_index.h"
#include "station_client.h"

#include <gtest/gtest.h>

namespace pxr7 {
namespace {

const std::string kLine7 = R"({"schema":1,"bench":"B","seq":7,"result":"ok"})";
const std::string kLine8 = R"({"schema":1,"bench":"B","seq":8,"result":"ok"})";
const std::string kOld = R"({"schema":1,"host":"h","result":"ok"})";

// An item whose record line holds a value nested levels deep.
std::string nestedItem(int levels) {
    return R"({"line":1,"bench":"B","seq":7,"x":)" + std::string(levels, '[') +
           std::string(levels, ']') + "}";
}

// Line 7 padded to exactly size bytes.
std::string line7Of(std::size_t size) {
    const std::string head = R"({"schema":1,"bench":"B","seq":7,"result":"ok","pad":")";
    return head + std::string(size - head.size() - 2, 'a') + "\"}";
}

std::string answer(const std::string& lines, const char* next = "8", const char* more = "false") {
    return std::string(R"({"schema":1,"next_since":)") + next + R"(,"more":)" + more +
           R"(,"lines":[)" + lines + "]}";
}

TEST(StationPage, AnswersThatDoNotHoldTogetherAreRefused) {
    const std::string item7 = R"({"line":1,"bench":"B","seq":7})";
    const std::string item8 = R"({"line":2,"bench":"B","seq":8})";
    struct Case {
        std::string body, jsonl;
        bool ok;
        std::int64_t since = 5;
        std::size_t asked = kStationPageLines;
    };
    const Case cases[] = {
        {answer(item7 + "," + item8), kLine7 + "\n" + kLine8 + "\n", true},
        {answer(R"({"line":1,"bench":"h","seq":-1099511627775})", "-1099511627775"), kOld + "\n",
         true, INT64_MIN},
        {answer("", "5"), "", true},
        {answer(nestedItem(63), "7"), kLine7 + "\n", true}, // a line as deep as a record's may be
        {answer(nestedItem(64), "7"), kLine7 + "\n", false},
        {"<html>not json</html>", "", false},
        {"[1,2]", "", false},
        {R"({"lines":{},"next_since":8,"more":false})", "", false},
        {answer(R"({"line":1,"seq":7})", "7"), kLine7 + "\n", false},               // no bench
        {answer(R"({"line":1,"bench":"B","seq":"7"})", "7"), kLine7 + "\n", false}, // seq text
        {answer(R"({"line":1,"bench":"B","seq":7.5})", "7"), kLine7 + "\n", false},
        {answer(R"({"line":1,"bench":"B","seq":18446744073709551615})", "7"), "", false},
        {answer(R"({"line":"x","bench":"B","seq":7})", "7"), kLine7 + "\n", false},
        {answer(item8 + "," + item7, "7"), kLine8 + "\n" + kLine7 + "\n", false}, // falling
        {answer(item7 + "," + item7, "7"), kLine7 + "\n" + kLine7 + "\n", false}, // repeated
        {answer(R"({"line":1,"bench":"B","seq":5})", "5"), "", false},            // not above since
        {answer(item7 + "," + item8, "7"), kLine7 + "\n" + kLine8 + "\n", false}, // next_since
        // A next_since past the last line would skip the lines in between for ever.
        {answer(item7 + "," + item8, "9"), kLine7 + "\n" + kLine8 + "\n", false},
        {answer("", "6"), "", false},
        {answer("", "5", "true"), "", false},                                // more, nothing
        {answer(item7 + "," + item8), kLine7 + "\n", false},                 // lines short
        {answer(item7 + "," + item8), kLine7 + "\n" + kLine7 + "\n", false}, // other bytes
        {answer(item7 + "," + item8), kLine7 + "\nnot a record line\n", false},
        {answer(R"({"line":1,"bench":"h","seq":7})", "7"), kOld + "\n", false},    // old, seq > 0
        {answer(item7 + "," + item8), kLine7 + "\n" + kLine8 + "\n", false, 5, 1}, // over per_page
        {answer(item7, "7"), line7Of(kMaxRecordLineBytes) + "\n", true}, // at the line limit
        {answer(item7, "7"), line7Of(kMaxRecordLineBytes + 1) + "\n", false},
    };
    for (const Case& c : cases) {
        StationPage page;
        std::string problem;
        const bool ok = parseSincePage(c.body, c.since, c.asked, page, problem) &&
                        attachLineBytes(c.jsonl, page, problem);
        EXPECT_EQ(ok, c.ok) << c.body << " / " << problem;
        EXPECT_EQ(problem.empty(), c.ok) << c.body;
    }
}

TEST(StationPage, OnlyHttpHostPortAddresses) {
    const std::tuple<const char*, bool, const char*, const char*> cases[] = {
        {"http://127.0.0.1:8470", true, "127.0.0.1", "8470"},
        {"http://bench-3.local:80/", true, "bench-3.local", "80"},
        {"http://[::1]:8470", true, "::1", "8470"},
        {"https://host:443", false, "", ""},
        {"http://host", false, "", ""},
        {"http://host:80/api", false, "", ""},
        {"http://user@host:80", false, "", ""},
        {"http://host:99999999", false, "", ""},
        {"http://:80", false, "", ""},
        {"http://::1:80", false, "", ""},
    };
    for (const auto& [url, ok, host, port] : cases) {
        StationAddress address;
        std::string problem;
        EXPECT_EQ(parseStationUrl(url, address, problem), ok) << url;
        if (ok) {
            EXPECT_EQ(address.host + " " + address.port, std::string(host) + " " + port) << url;
        }
    }
}

TEST(StationPage, BackoffDoublesToThirtySeconds) {
    const std::pair<int, int> cases[] = {{0, 1}, {1, 2}, {2, 4}, {8, 16}, {16, 30}, {30, 30}};
    for (const auto& [before, after] : cases) {
        EXPECT_EQ(nextBackoffSeconds(before), after) << before;
    }
}

} // namespace
} // namespace pxr7
