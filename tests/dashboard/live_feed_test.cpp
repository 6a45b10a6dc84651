// What the live page is told: the bench's name as typed, the stand-in image's warning, every
// result in the station's words, when and how the station ended, and a failed meter kept red
// until it is taken off.
#include "exit_codes.h"
#include "lane_one.h"
#include "live_feed.h"

#include <gtest/gtest.h>

#include <string>

namespace pxr7 {
namespace {

JsonValue snapshotOf(LiveFeed& feed) {
    return JsonValue::parse(feed.snapshot());
}

// The tile and outcome in the last event the feed published.
JsonValue lastEvent(LiveFeed& feed) {
    const FeedBatch batch = feed.after(feed.start("").next - 1, 100);
    return batch.events.empty() ? JsonValue() : JsonValue::parse(batch.events.back().data);
}

TEST(LiveFeedHeader, NamesTheBenchAsTypedAndWarnsOfTheStandInImage) {
    const std::string rtl = "<b>x</b> \xd7\xa9\xd7\x95\xd7\x9c\xd7\x97\xd7\x9f 3";
    const struct {
        std::string bench;
        const char* notice;
    } cases[] = {
        {"Line 3 east", ""},
        {rtl, "a stand-in, not meter firmware"},
        {std::string(200, 'W'), ""}, // longer than a bench file takes: still kept whole
    };
    for (const auto& c : cases) {
        LiveFeedSettings settings;
        settings.bench = c.bench;
        settings.host = "vm";
        settings.imageNotice = c.notice;
        LiveFeed feed(settings);
        const JsonValue header = snapshotOf(feed)["header"];
        EXPECT_EQ(header["bench"], c.bench);
        EXPECT_EQ(header["host"], "vm");
        const bool standIn = *c.notice != '\0';
        EXPECT_EQ(header["image_standin"], standIn) << c.bench;
        EXPECT_EQ(header["image_notice"], standIn ? JsonValue(c.notice) : JsonValue());
        EXPECT_TRUE(header["ended_at"].is_null());
        EXPECT_TRUE(header["exit_words"].is_null());
    }
}

TEST(LiveFeedOutcome, SaysEachResultInTheStationsWords) {
    MeterRun ok;
    ok.attempts = 1;
    MeterRun current;
    current.endCurrent();
    MeterRun silent;
    silent.endWith(Outcome::HandshakeFailed);
    silent.attempts = 3;
    MeterRun stopped;
    stopped.endWith(Outcome::Terminated);
    stopped.attempts = 1;
    const struct {
        const MeterRun& run;
        const char* result;
        std::string words;
        const char* tone;
    } cases[] = {
        {ok, "ok", "ok", "good"},
        {current, "current", "already current", "good"},
        {silent, "handshake_timeout", wordsFor(Outcome::HandshakeFailed), "bad"},
        {stopped, "terminated", wordsFor(Outcome::Terminated), "bad"},
    };
    for (const auto& c : cases) {
        LiveFeed feed(LiveFeedSettings{});
        feed.outcome(laneOne(), c.run, StationTotals{}, "");
        const JsonValue event = lastEvent(feed);
        EXPECT_EQ(event["result"], c.result);
        EXPECT_EQ(event["result_words"], c.words) << c.result;
        EXPECT_EQ(event["outcome"]["result_words"], c.words) << c.result;
        EXPECT_EQ(event["tile"]["last"]["result_words"], c.words) << c.result;
        // Taken off only later: the outcome's colour (a failure's red) and advice stay.
        const std::string next = event["tile"]["next"];
        feed.laneState(laneOne(), LaneState::RemoveMeter);
        const JsonValue tile = lastEvent(feed)["tile"];
        EXPECT_EQ(tile["tone"], c.tone) << c.result;
        if (std::string(c.tone) == "bad") {
            EXPECT_EQ(tile["next"], next) << c.result;
        }
    }
}

TEST(LiveFeedEnd, SaysWhenAndHowTheStationEnded) {
    for (const Outcome code : {Outcome::Ok, Outcome::StationFailures, Outcome::Terminated}) {
        LiveFeed feed(LiveFeedSettings{});
        StationResult result;
        result.outcome = code;
        result.totals = StationTotals{2, 1, code == Outcome::StationFailures ? 1 : 0};
        feed.finish(result);
        const JsonValue ended = lastEvent(feed);
        ASSERT_EQ(ended["event"], "station_ended");
        for (const JsonValue& header : {ended["header"], snapshotOf(feed)["header"]}) {
            EXPECT_EQ(header["ended"], true);
            EXPECT_EQ(header["exit_code"], exitCodeOf(code));
            EXPECT_EQ(header["exit_words"], wordsFor(code));
            const std::string at = header["ended_at"];
            EXPECT_EQ(at.size(), 20u) << at; // 2026-12-09T14:05:31Z
            EXPECT_EQ(at.back(), 'Z') << at;
            EXPECT_GE(at, header["started"].get<std::string>());
        }
    }
}

} // namespace
} // namespace pxr7
