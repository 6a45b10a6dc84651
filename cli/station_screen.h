// The station's screen as lines, from what each lane shows: pure, so the fitting is tested
// without a terminal. Every line fits the width; the block fits the rows, lanes that do not
// fit summed up in one line.
#pragma once

#include "lane_row.h"
#include "progress_line.h"
#include "station_observer.h"

#include <optional>
#include <string>
#include <vector>

namespace pxr7 {

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
