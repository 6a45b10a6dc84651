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
const std::string kOldName = R"({"schema":1,"bench":"Pr\u00c3\u00bcfplatz","seq":7,"result":"ok"})";
const std::string kNoBench = R"({"schema":1,"seq":7,"host":"h","result":"ok"})";

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
        // A name written as its bytes, one per character, is the name those bytes spell; a line
        // without a bench is its host's, as the station's page names them.
        {answer(R"({"line":1,"bench":"Pr\u00fcfplatz","seq":7})", "7"), kOldName + "\n", true},
        {answer(R"({"line":1,"bench":"h","seq":7})", "7"), kNoBench + "\n", true},
        {answer(R"({"line":1,"bench":"","seq":7})", "7"), kNoBench + "\n", false},
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

// The JSON Lines alone, with the headers that say where the next page starts: the same checks
// as the page of JSON with its lines, and the page of JSON asked for only for lines from before
// seqs.
TEST(StationPage, JsonLinesPagesHoldTogetherOrAreRefused) {
    using Outcome = JsonlPage;
    struct Case {
        std::string jsonl;
        SinceHeaders headers;
        Outcome outcome;
        std::string benches; // of the lines read, with their seqs
        std::int64_t since = 5;
        std::size_t asked = kStationPageLines;
    };
    const SinceHeaders at8{"8", "false", ""};
    const Case cases[] = {
        {kLine7 + "\n" + kLine8 + "\n", at8, Outcome::Read, "B7 B8"},
        {kLine7 + "\n" + kLine8 + "\n",
         {"8", "true", std::string(32, 'a')},
         Outcome::Read,
         "B7 B8"},
        {"", {"5", "false", ""}, Outcome::Read, ""},
        {kOldName + "\n",
         {"7", "false", ""},
         Outcome::Read,
         "Pr\xC3\xBC"
         "fplatz7"},
        {kNoBench + "\n", {"7", "false", ""}, Outcome::Read, "h7"},
        {kLine7 + "\n" + kOld + "\n", at8, Outcome::NeedsIdentity, ""},
        {kLine7 + "\n" + kLine8 + "\n", at8, Outcome::Refused, "", 5, 1},          // over per_page
        {kLine8 + "\n" + kLine7 + "\n", {"7", "false", ""}, Outcome::Refused, ""}, // falling
        {kLine7 + "\n" + kLine7 + "\n", {"7", "false", ""}, Outcome::Refused, ""}, // repeated
        {kLine7 + "\n", {"7", "false", ""}, Outcome::Refused, "", 7}, // not above since
        {kLine7 + "\n" + kLine8, at8, Outcome::Refused, ""},          // cut within a line
        {kLine7 + "\nnot a record line\n", at8, Outcome::Refused, ""},
        {kLine7 + "\n" + kLine8 + "\n", {"7", "false", ""}, Outcome::Refused, ""}, // next short
        {kLine7 + "\n" + kLine8 + "\n", {"9", "false", ""}, Outcome::Refused, ""}, // next past
        {kLine7 + "\n" + kLine8 + "\n", {"", "false", ""}, Outcome::Refused, ""},
        {kLine7 + "\n" + kLine8 + "\n", {"8x", "false", ""}, Outcome::Refused, ""},
        {kLine7 + "\n" + kLine8 + "\n",
         {"99999999999999999999", "false", ""},
         Outcome::Refused,
         ""},
        {kLine7 + "\n" + kLine8 + "\n", {"8", "yes", ""}, Outcome::Refused, ""},
        {"", {"5", "true", ""}, Outcome::Refused, ""}, // more, and nothing
        {line7Of(kMaxRecordLineBytes) + "\n", {"7", "false", ""}, Outcome::Read, "B7"},
        {line7Of(kMaxRecordLineBytes + 1) + "\n", {"7", "false", ""}, Outcome::Refused, ""},
    };
    for (const Case& c : cases) {
        StationPage page;
        std::string problem;
        const Outcome outcome = parseJsonlPage(c.jsonl, c.headers, c.since, c.asked, page, problem);
        const std::string shown = c.jsonl.substr(0, 120);
        EXPECT_EQ(static_cast<int>(outcome), static_cast<int>(c.outcome))
            << shown << " / " << problem;
        EXPECT_EQ(problem.empty(), c.outcome != Outcome::Refused) << shown;
        if (outcome != Outcome::Read) {
            continue;
        }
        std::string benches;
        for (const StationLine& line : page.lines) {
            benches += (benches.empty() ? "" : " ") + line.bench + std::to_string(line.seq);
            EXPECT_TRUE(line.object.is_object()) << shown;
        }
        EXPECT_EQ(benches, c.benches) << shown;
        EXPECT_EQ(page.stream, c.headers.stream);
    }
}

TEST(StationPage, OnlyHttpHostPortAddresses) {
    const std::tuple<const char*, bool, const char*, const char*> cases[] = {
        {"http://127.0.0.1:8470", true, "127.0.0.1", "8470"},
        {"http://bench-3.local:80/", true, "bench-3.local", "80"},
        {"http://[::1]:8470", true, "::1", "8470"},
        {"https://host:443", true, "host", "443"},
        {"https://[::1]:8470/", true, "::1", "8470"},
        {"ftp://host:21", false, "", ""},
        {"http://host", false, "", ""},
        {"http://host:80/api", false, "", ""},
        {"http://user@host:80", false, "", ""},
        {"http://host:99999999", false, "", ""},
        {"http://:80", false, "", ""},
        {"http://::1:80", false, "", ""},
        {"http://[]:80", false, "", ""},
        {"http://[::1]x:80", false, "", ""},
        {"http://[::1:80", false, "", ""},
    };
    for (const auto& [url, ok, host, port] : cases) {
        StationAddress address;
        std::string problem;
        EXPECT_EQ(parseStationUrl(url, address, problem), ok) << url;
        if (ok) {
            EXPECT_EQ(address.host + " " + address.port, std::string(host) + " " + port) << url;
            EXPECT_EQ(address.tls, std::string(url).rfind("https://", 0) == 0) << url;
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
