// The text of the upgrade's progress line, fitted to a terminal's width. Pure, so the fitting
// is tested without a terminal.
#pragma once

#include "lane_row.h"

#include <string>

namespace pxr7 {

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
