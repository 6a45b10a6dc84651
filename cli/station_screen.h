// The station's screen as lines, from what each lane shows: pure, so the fitting is tested
// without a terminal. Every line fits the width; the block fits the rows, lanes that do not
// fit summed up in one line.
#pragma once

#include "progress_line.h"
#include "station_observer.h"

#include <optional>
#include <string>
#include <vector>

namespace pxr7 {

// How a lane's state reads at a glance, and its colour where the terminal has colour.
enum class LaneTone {
    Quiet,     // waiting for a meter
    Working,   // a meter is being served
    Good,      // ok or current: take the meter off
    Bad,       // the meter failed
    Attention, // the lane cannot serve meters until someone acts
};

struct LaneRow {
    std::string label; // the lane's name, or its serial number and bridge
    std::string state; // in a few words; for a transfer, the words before its figures
    bool sending = false;
    ProgressFigures progress; // while sending
    std::string next;         // the next step in words; "" when there is nothing to do
    std::string brief;        // the same in a few words, for a screen too low for it; "" none
    std::string counts;       // "2 ok, 1 failed" when asked for; else ""
    LaneTone tone = LaneTone::Quiet;
};

struct ScreenHeader {
    StationTotals totals;
    std::optional<double> yield; // 0..1
    std::optional<double> metersPerHour;
    std::string imageVersion;
    std::string typing; // what the operator is typing, shown on a line of its own; "" none
    std::string nextId; // where the next unit id goes, a line of its own above it; "" none
};

struct ScreenSize {
    int columns = 80; // a line may use columns - 1
    int rows = 24;    // the block may use rows - 1
    bool colour = false;
};

std::vector<std::string> composeStationScreen(const ScreenHeader& header,
                                              const std::vector<LaneRow>& lanes,
                                              const ScreenSize& size);

// The header's words as one line, for plain output and the end of the run.
std::string stationHeaderLine(const ScreenHeader& header);

} // namespace pxr7
