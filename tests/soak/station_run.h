// One run of `pxr7 station` on a soak bench: started against the simulator, its record
// watched while it runs (each line stamped with the bench time it was first seen whole), the
// planned signal sent at the planned bench time, and a watchdog that sends SIGTERM, then
// SIGKILL, to a station that does not end in time, so no run can hang.
#pragma once

#include "bench_plan.h"

#include <string>
#include <vector>

namespace soak {

struct StationLaunch {
    std::string program; // pxr7
    std::string driver;  // the simulated D2XX library
    std::string folder;  // holds scenario.txt; the run's files go there too
    bool setup = false;  // --setup
    long stopAtMs = 0;   // the planned signal, on the bench's clock
    StopMode stop = StopMode::Drain;
    // Not null with plan->unitIds: the station runs with --json --unit-ids and the plan's
    // bench file, and an operator scans on its standard input (operator_scans.h).
    const BenchPlan* plan = nullptr;
};

struct SeenLine {
    std::string text;
    long seenMs = 0; // on the bench's clock
};

struct StationRun {
    int exitCode = -1;         // the exit status, or 128 + the signal that ended it
    bool signalled = false;    // the planned signal went out before the station ended
    bool secondSignal = false; // the second Ctrl+C went out before the station ended
    bool neededTerm = false;   // the watchdog sent SIGTERM: the station did not end in time
    bool neededKill = false;   // and SIGKILL
    std::vector<SeenLine> record;
    std::string problem; // the run could not be started or watched
};

// The run's files in launch.folder: record.jsonl, trace.txt, units.txt, out.txt, err.txt (and
// bench.conf with unit ids).
StationRun runStation(const StationLaunch& launch);

} // namespace soak
