// Several meters at once, one lane each: one thread and one port per bridge, each meter at its
// own 10 ms pace, each through the meter pipeline (meter_job.h). A single upgrade is the
// one-lane case of the same code.
#pragma once

#include "lane_observer.h"
#include "meter_run.h"
#include "unit_ledger.h"

#include <vector>

namespace pxr7 {

class LanesObserver {
public:
    virtual ~LanesObserver() = default;
    // Lane i's observer; called before the lane's thread starts.
    virtual LaneObserver& lane(std::size_t i) = 0;
    // Lane i has its result (from that lane's thread).
    virtual void laneDone(std::size_t i, const MeterRun& run) = 0;
};

// Runs every lead's meter at once, each recorded through ledger as it ends, and returns their
// runs in the leads' order.
std::vector<MeterRun> runLanes(const std::vector<BridgeReport>& leads, const RunSettings& settings,
                               LanesObserver& observer, const StopCheck& stop, UnitLedger& ledger);

// The outcome of several runs: Ok if all succeeded, else the first failure's.
Outcome combinedOutcome(const std::vector<MeterRun>& runs);

} // namespace pxr7
