// A station lane in words: what it says in each state, after each outcome and during a run,
// and what to do next. The operator's screen, the --json events and the dashboard all take
// their words from here.
#pragma once

#include "lane_row.h"
#include "meter_run.h"
#include "station_observer.h"

#include <string>

namespace pxr7 {

// What a lane out of service asks of the technician, the key that takes it back included.
extern const char* const kOutOfServiceNext;

// A diagnosis line's words without the program's name in front ("pxr7: "); other lines as
// they are.
std::string diagnosisWords(const std::string& line);

// The state's stable word in the JSON events ("waiting", "needs_setup", ...).
const char* laneStateCode(LaneState state);
// What the lane says in a state (with the reason for one that blocks it), what to do about
// it, and how it reads at a glance.
LaneRow laneStateRow(const LaneTag& lane, LaneState state, const std::string& reason);
// What the lane says after a meter's outcome, and what to do next.
LaneRow laneOutcomeRow(const MeterRun& meter);
// A phase's words, with the attempt when it is not the first.
std::string laneAttemptText(Phase phase, int attempt);
// The name on the fixture, else the serial number, else where the bridge is; the name's
// characters beyond ASCII as they are only where the output takes UTF-8.
std::string laneLabel(const LaneTag& lane, bool takesUtf8);
// The tone's stable word ("quiet", "working", "good", "bad", "attention").
const char* laneToneWord(LaneTone tone);

} // namespace pxr7
