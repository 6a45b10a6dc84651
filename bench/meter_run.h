// One meter's run from the confirmed start to its verified version: the transfer through the
// meter's own port at its own 10 ms pace, then the version the restarted meter reports.
// Several run at once, one thread each; the result is a value.
#pragma once

#include "bridge_survey.h"
#include "lane_observer.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace pxr7 {

struct MeterRun {
    int exitCode = 0;
    std::string serial;
    int index = -1;
    std::string versionBefore;
    std::string versionAfter;
    std::int32_t recordsSent = 0;
    std::int32_t recordsTotal = 0;
    double seconds = 0;
    std::string diagnosis; // what went wrong and what to do, for a failure
};

struct RunSettings {
    bool verify = true;
    std::string declaredVersion; // the image's version; empty: any answer verifies
};

// The run as it stands before anything is sent: the lead's serial number, index and version.
MeterRun meterRunFor(const BridgeReport& lead);

// Upgrades the meter on lead and, with settings.verify, asks it for its version afterwards.
// Fills run (its versionBefore already set) and returns its exit code. The caller installs
// the stop signals first.
int runMeter(const BridgeReport& lead, const RunSettings& settings, LaneObserver& lane,
             const StopCheck& stop, MeterRun& run);

} // namespace pxr7
