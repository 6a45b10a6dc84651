// One lane of the station as every front end shows it: what it says now, its own counts and
// its last outcome, moved on by the station's events. The terminal and the live page each keep
// one per lane and draw it their way; the rules (an outcome stays until the meter is taken
// off, what counts where) are here once, so the two cannot tell a lane differently.
#pragma once

#include "lane_row.h"
#include "meter_run.h"
#include "phase.h"
#include "station_observer.h"

#include <string>

namespace pxr7 {

struct BoardLane {
    LaneTag tag;
    LaneRow row;             // without its label: each front end labels the lane its own way
    StationTotals counts;    // this lane's own, as tallyOf counts them
    std::string lastOutcome; // the last meter's outcome in words; "" before the first
};

// The lead is new on the bus and being looked at.
void boardAppeared(BoardLane& lane);
// The lane's state, with the reason for one that blocks it. A meter's outcome stays in its
// words until the meter is taken off (RemoveMeter); a failure stays red with its advice.
void boardState(BoardLane& lane, LaneState state, const std::string& reason);
void boardArrived(BoardLane& lane, const std::string& version);
void boardPhase(BoardLane& lane, Phase phase, int attempt);
// The meter is finished: its outcome in words, counted in the lane's own counts.
void boardOutcome(BoardLane& lane, const MeterRun& meter);
// The meter answered on the image's version after the verification window had ended.
void boardVerifiedLate(BoardLane& lane, const std::string& version);

// "2 ok, 0 current, 1 failed".
std::string countsText(const StationTotals& counts);

} // namespace pxr7
