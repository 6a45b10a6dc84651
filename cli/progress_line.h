// The text of the upgrade's progress line, fitted to a terminal's width. Pure, so the fitting
// is tested without a terminal.
#pragma once

#include "phase.h"

#include <cstdint>
#include <string>

namespace pxr7 {

struct ProgressFigures {
    Phase phase = Phase::Sending;
    std::int32_t done = 0;
    std::int32_t total = 0;
    double secondsSending = 0; // since the first record went out
    double secondsQuiet = 0;   // since the last record went out (or the sending began)
    int attempt = 1;           // the transfer's attempt on this meter
};

// A transfer quiet this long shows how long it has waited instead of a time left that no
// longer moves.
constexpr double kQuietShownAfter = 3.0;

// Below this many columns the line would say too little: plain lines instead.
constexpr int kNarrowestProgressLine = 40;

// The line for a terminal of columns columns: at most columns - 1 characters, so the cursor
// never wraps, with no line break. While sending it shows records done of total, percent,
// rate and time left (or how long the meter has been quiet), then a bar in the room that is
// left; narrower terminals lose the bar, then the rate, then the time left. Before the meter
// asks for its first record the total is not known: the line says it is starting.
std::string formatProgressLine(const ProgressFigures& figures, int columns);

// m:ss (minutes unbounded up to 99 hours), for the time left.
std::string formatDuration(double seconds);

} // namespace pxr7
