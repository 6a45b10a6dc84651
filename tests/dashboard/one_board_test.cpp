// The terminal and the live page draw one board: for the same events, each lane reads the same
// in both (its label, words, next step, tone and own counts). The terminal alone adds the last
// outcome beside "waiting for a meter".
#include "exit_codes.h"
#include "lane_one.h"
#include "lane_words.h"
#include "live_feed.h"
#include "station_view.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace pxr7 {
namespace {

using Event = std::function<void(StationObserver&)>;

MeterRun meterEnded(Outcome code, int attempts = 1) {
    MeterRun run;
    run.endWith(code);
    run.attempts = attempts;
    run.versionBefore = "PXR7 V1.02";
    run.versionAfter = code == Outcome::Ok ? "PXR7 V1.03" : "";
    return run;
}

const Event appeared = [](StationObserver& o) { o.laneAppeared(laneOne()); };
const Event arrived = [](StationObserver& o) { o.meterArrived(laneOne(), "PXR7 V1.02"); };
const Event sending = [](StationObserver& o) { o.phase(laneOne(), Phase::Sending, 2); };
const Event takeOff = [](StationObserver& o) { o.laneState(laneOne(), LaneState::RemoveMeter); };
const Event waiting = [](StationObserver& o) { o.laneState(laneOne(), LaneState::Waiting); };

Event ended(Outcome code, int attempts = 1) {
    return [=](StationObserver& o) {
        o.outcome(laneOne(), meterEnded(code, attempts), StationTotals{}, "");
    };
}

Event blocked(LaneState state, const char* reason) {
    return [=](StationObserver& o) { o.laneBlocked(laneOne(), state, reason); };
}

std::string countsOf(const JsonValue& counts) {
    StationTotals totals;
    totals.ok = counts["ok"];
    totals.current = counts["current"];
    totals.failed = counts["failed"];
    return countsText(totals);
}

TEST(OneBoard, TheTerminalAndTheLivePageTellALaneAlike) {
    const struct {
        const char* name;
        std::vector<Event> events;
        const char* terminalAdds; // after the words, on the terminal only
    } cases[] = {
        {"found", {appeared}, ""},
        {"waiting", {appeared, waiting}, ""},
        {"sending", {appeared, arrived, sending}, ""},
        {"ok, on the fixture", {appeared, arrived, sending, ended(Outcome::Ok), takeOff}, ""},
        {"ok, taken off",
         {arrived, ended(Outcome::Ok), takeOff, waiting},
         " (last: ok: PXR7 V1.03)"},
        {"failed", {arrived, sending, ended(Outcome::HandshakeFailed, 3)}, ""},
        {"failed, on the fixture", {arrived, ended(Outcome::VerifyFailed), takeOff}, ""},
        {"stopped", {arrived, sending, ended(Outcome::Terminated)}, ""},
        {"two meters",
         {arrived, ended(Outcome::Ok), takeOff, waiting, arrived,
          ended(Outcome::TransferStopped, 2)},
         ""},
        {"needs setup", {appeared, blocked(LaneState::NeedsSetup, "")}, ""},
        {"held by another program",
         {blocked(LaneState::CannotOpen, "pxr7: another program holds the lead")},
         ""},
        {"out of service",
         {arrived, ended(Outcome::HandshakeFailed),
          blocked(LaneState::OutOfService, "3 meters in a row failed here")},
         ""},
    };
    for (const auto& c : cases) {
        StationViewSettings settings;
        settings.laneCounts = true;
        StationView view(settings);
        LiveFeed feed(LiveFeedSettings{});
        ::testing::internal::CaptureStdout(); // the terminal's plain lines
        for (const Event& event : c.events) {
            event(view);
            event(feed);
        }
        view.finish(StationResult{});
        ::testing::internal::GetCapturedStdout();
        const std::vector<LaneRow> rows = view.shownRows();
        const JsonValue lanes = JsonValue::parse(feed.snapshot())["lanes"];
        ASSERT_EQ(rows.size(), 1u) << c.name;
        ASSERT_EQ(lanes.size(), 1u) << c.name;
        const LaneRow& row = rows[0];
        const JsonValue& tile = lanes[0];
        EXPECT_EQ(row.label, tile["label"].get<std::string>()) << c.name;
        EXPECT_EQ(row.state, tile["words"].get<std::string>() + c.terminalAdds) << c.name;
        EXPECT_EQ(row.next, tile["next"].get<std::string>()) << c.name;
        EXPECT_EQ(laneToneWord(row.tone), tile["tone"].get<std::string>()) << c.name;
        EXPECT_EQ(row.counts, countsOf(tile["counts"])) << c.name;
    }
}

} // namespace
} // namespace pxr7
