// The one GET the collector and the overview share, against stations honest and hostile: each
// way a request can end is its own outcome, an answer over the cap is cut while it comes, and a
// stop or the deadline ends a request that a station never answers.
#include "fake_station.h"
#include "http_get.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

namespace pxr7 {
namespace {

HttpGet getOf(const test::FakeStation& station) {
    HttpGet asked;
    std::string problem;
    EXPECT_TRUE(parseHttpUrl(station.url(), asked.url, problem)) << problem;
    asked.target = "/api/history?since=0&per_page=2";
    asked.maxBytes = 1u << 20;
    return asked;
}

TEST(HttpGet, EachWayARequestEndsIsItsOwnOutcome) {
    const struct {
        test::StationMode mode;
        HttpGetOutcome outcome;
        bool declared; // TooLarge: the length was given before the body
    } cases[] = {
        {test::StationMode::Live, HttpGetOutcome::Answered, false},
        {test::StationMode::HugeDeclared, HttpGetOutcome::TooLarge, true},
        {test::StationMode::HugeChunked, HttpGetOutcome::TooLarge, false},
        {test::StationMode::Silent, HttpGetOutcome::Late, false},
    };
    for (const auto& c : cases) {
        test::FakeStation station(c.mode, "bench");
        HttpGet asked = getOf(station);
        asked.deadline = std::chrono::milliseconds(300);
        const HttpGetResult got = httpGet(asked);
        EXPECT_EQ(got.outcome, c.outcome) << station.url() << " " << got.problem;
        EXPECT_EQ(got.declaredBytes != 0, c.declared) << station.url();
        // Cut while it comes: never the 200 MB offered.
        EXPECT_LT(station.bodyBytesSent(), 48u << 20) << station.url();
        if (c.outcome == HttpGetOutcome::Answered) {
            EXPECT_EQ(got.status, 200u);
            EXPECT_EQ(got.body.rfind("{\"schema\":1,", 0), 0u) << got.body;
            ASSERT_NE(got.header("content-TYPE"), nullptr);  // names in any case
            EXPECT_EQ(got.header("X-Pxr7-Stream"), nullptr); // absent is not empty
        }
    }
}

TEST(HttpGet, AStopEndsAWaitForAStationThatNeverAnswers) {
    test::FakeStation silent(test::StationMode::Silent, "bench");
    HttpGet asked = getOf(silent);
    asked.deadline = std::chrono::hours(1); // only the stop can end it
    std::atomic<int> asks{0};
    asked.stop = [&asks] { return ++asks > 2; };
    const HttpGetResult got = httpGet(asked);
    EXPECT_EQ(got.outcome, HttpGetOutcome::Stopped) << got.problem;
    EXPECT_GE(asks.load(), 3);
}

TEST(HttpGet, NoOneListeningIsAFailureWithTheSystemsWords) {
    HttpGet asked;
    std::string problem;
    ASSERT_TRUE(parseHttpUrl("http://127.0.0.1:1", asked.url, problem));
    const HttpGetResult got = httpGet(asked);
    EXPECT_EQ(got.outcome, HttpGetOutcome::Failed);
    EXPECT_FALSE(got.problem.empty());
}

} // namespace
} // namespace pxr7
