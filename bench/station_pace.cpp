#include "station_pace.h"

#include "outcome_tally.h"

#include <algorithm>

namespace pxr7 {

void StationPace::finished(MeterOutcome outcome, Clock::time_point when) {
    const Tally tally = tallyOf(outcome);
    addTally(counts_, tally);
    if (tally == Tally::Ok || tally == Tally::Current) {
        good_.push_back(when);
    }
    // Only the window is ever counted; a long day keeps no more than it.
    while (!good_.empty() && when - good_.front() > kPaceWindow) {
        good_.pop_front();
    }
}

std::optional<double> StationPace::yield() const {
    const int good = counts_.ok + counts_.current, ended = good + counts_.failed;
    if (ended == 0) {
        return std::nullopt;
    }
    return static_cast<double>(good) / ended;
}

std::optional<double> StationPace::metersPerHour(Clock::time_point now) const {
    const Clock::duration span = std::min<Clock::duration>(now - started_, kPaceWindow);
    if (span < kShortestPaceWindow) {
        return std::nullopt;
    }
    const Clock::time_point from = now - span;
    int meters = 0;
    for (const Clock::time_point when : good_) {
        meters += when >= from && when <= now ? 1 : 0;
    }
    return meters / std::chrono::duration<double, std::ratio<3600>>(span).count();
}

} // namespace pxr7
