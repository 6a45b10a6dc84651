// How the station is doing, as its header shows it: the share of finished units that came
// out fine, and meters per hour from the recent past rather than from the first minutes.
#pragma once

#include "meter_run.h"
#include "station_observer.h"

#include <chrono>
#include <deque>
#include <optional>

namespace pxr7 {

// The window meters per hour are counted over, and the least time it must span first: a rate
// from the first few seconds (one meter in 5 s is 720/h) says nothing.
constexpr std::chrono::minutes kPaceWindow{15};
constexpr std::chrono::seconds kShortestPaceWindow{60};

class StationPace {
public:
    using Clock = std::chrono::steady_clock;

    explicit StationPace(Clock::time_point started) : started_(started) {}

    // A unit ended; it counts as tallyOf says (a stopped one nowhere).
    void finished(MeterOutcome outcome, Clock::time_point when);

    // Units ended ok or current, over every unit that ended ok, current or failed; none
    // before the first.
    std::optional<double> yield() const;

    // Meters ended ok or current in the last kPaceWindow (since the start when that is
    // shorter), per hour; none while that span is under kShortestPaceWindow. Idle time lowers
    // it: nothing finishing for a window brings it to 0.
    std::optional<double> metersPerHour(Clock::time_point now) const;

private:
    Clock::time_point started_;
    std::deque<Clock::time_point> good_; // when each ok or current unit ended, oldest first
    StationTotals counts_;
};

} // namespace pxr7
