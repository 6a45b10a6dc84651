// The board's rules, once for both front ends: a meter's outcome stays in its words until it
// is taken off (a failure's red and advice too), each lane counts its own meters, and every
// tally agrees on where a stopped meter counts.
#include "exit_codes.h"
#include "lane_board.h"
#include "outcome_tally.h"
#include "station_pace.h"

#include <gtest/gtest.h>

#include <string>

namespace pxr7 {
namespace {

MeterRun runEnded(Outcome code, bool current = false, int attempts = 1) {
    MeterRun run;
    run.endWith(code);
    if (current) {
        run.endCurrent();
    }
    run.attempts = attempts;
    run.versionAfter = code == Outcome::Ok ? "PXR7 V1.03" : "";
    return run;
}

TEST(LaneBoard, AnOutcomeStaysUntilTheMeterIsTakenOff) {
    const struct {
        MeterRun run;
        LaneTone tone; // after the meter's outcome and while it waits to be taken off
    } cases[] = {
        {runEnded(Outcome::Ok), LaneTone::Good},
        {runEnded(Outcome::Ok, true), LaneTone::Good},
        {runEnded(Outcome::HandshakeFailed, false, 3), LaneTone::Bad},
        {runEnded(Outcome::Terminated), LaneTone::Bad},
    };
    for (const auto& c : cases) {
        BoardLane lane;
        boardOutcome(lane, c.run);
        const LaneRow outcome = lane.row;
        EXPECT_EQ(lane.lastOutcome, outcome.state);
        boardState(lane, LaneState::RemoveMeter, "");
        EXPECT_EQ(lane.row.state, outcome.state);
        EXPECT_EQ(lane.row.tone, c.tone) << outcome.state;
        EXPECT_EQ(lane.row.next, c.tone == LaneTone::Bad ? outcome.next : "take the meter off")
            << outcome.state;
        // Taken off: the lane waits again, its last outcome kept for whoever shows it.
        boardState(lane, LaneState::Waiting, "");
        EXPECT_EQ(lane.row.state, "waiting for a meter");
        EXPECT_EQ(lane.row.tone, LaneTone::Quiet);
        EXPECT_EQ(lane.lastOutcome, outcome.state);
    }
}

// Every tally of meters counts by tallyOf: the station's totals, a lane's own counts and the
// pace's yield agree, a stopped meter in none of them; the record's totals alone count it
// failed, as the database's stored totals do.
TEST(OutcomeTally, AStoppedMeterCountsNowhereButInTheRecordsTotals) {
    const struct {
        MeterRun run;
        const char* result; // its record line's result word
        Tally tally;
        Tally recordTotals;
    } cases[] = {
        {runEnded(Outcome::Ok), "ok", Tally::Ok, Tally::Ok},
        {runEnded(Outcome::Ok, true), "current", Tally::Current, Tally::Current},
        {runEnded(Outcome::VerifyFailed), "verification_failed", Tally::Failed, Tally::Failed},
        {runEnded(Outcome::Interrupted), "interrupted", Tally::None, Tally::Failed},
        {runEnded(Outcome::Terminated), "terminated", Tally::None, Tally::Failed},
    };
    BoardLane lane;
    StationTotals totals;
    StationPace pace{StationPace::Clock::now()};
    for (const auto& c : cases) {
        EXPECT_EQ(tallyOf(c.run.outcome()), c.tally) << c.result;
        EXPECT_EQ(resultWord(c.run), std::string(c.result));
        EXPECT_EQ(tallyOfResult(c.result), c.tally) << c.result;
        EXPECT_EQ(recordTotalsTallyOf(c.result), c.recordTotals) << c.result;
        boardOutcome(lane, c.run);
        addTally(totals, tallyOf(c.run.outcome()));
        pace.finished(c.run.outcome(), StationPace::Clock::now());
    }
    // A word the table lacks (a newer program's) is a failure.
    EXPECT_EQ(tallyOfResult("a_newer_word"), Tally::Failed);
    EXPECT_EQ(countsText(lane.counts), "1 ok, 1 current, 1 failed");
    EXPECT_EQ(countsText(totals), countsText(lane.counts));
    ASSERT_TRUE(pace.yield().has_value());
    EXPECT_DOUBLE_EQ(*pace.yield(), 2.0 / 3.0);
}

} // namespace
} // namespace pxr7
