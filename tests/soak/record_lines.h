// The station's record read back for the soak: each line with the lead (or leads, for twins
// it cannot tell apart) it names, and its run's span on the bench's clock: it ended when the
// line was first seen whole, and began its duration_s before.
#pragma once

#include "bench_plan.h"
#include "station_run.h"

#include <string>
#include <vector>

namespace soak {

struct RecordLine {
    std::string text;
    std::string serial, location; // location "" when null
    std::string result, versionBefore, versionAfter;
    long attempts = 0, recordsSent = 0;
    std::string unitId, operatorName; // "" when null
    long startMs = 0, finishMs = 0;
    std::vector<int> bridges; // the plan's leads it can be about; empty: none
};

// Lines that are not record lines go to unreadable.
std::vector<RecordLine> readRecordLines(const BenchPlan& plan, const std::vector<SeenLine>& seen,
                                        std::vector<std::string>& unreadable);

// Where the simulator puts a bridge by default, as the record writes it.
std::string locationOf(int bridge);

} // namespace soak
