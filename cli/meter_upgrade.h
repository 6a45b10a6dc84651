// One meter's upgrade from the confirmed start to its verified version: the transfer through
// the meter's own port at its own 10 ms pace, then the version the restarted meter reports.
// Several can run at once, one thread each.
#pragma once

#include "bridge_survey.h"
#include "options.h"
#include "progress_sink.h"

#include <cstdint>
#include <string>

namespace pxr7 {

struct MeterRun {
    int exitCode = 0;
    std::string serial;
    std::string versionBefore;
    std::string versionAfter;
    std::int32_t recordsSent = 0;
    std::int32_t recordsTotal = 0;
    double seconds = 0;
};

struct MeterRunStyle {
    bool json = false;
    bool quiet = false;  // several meters at once: no messages or lines, a summary follows
    bool tagged = false; // JSON events carry the serial number
};

class JsonObject;

// The run's own keys of a JSON result: exit_code, error, serial, version_before,
// version_after, records_sent, records_total, duration_s.
void addRunFields(JsonObject& object, const MeterRun& run);

// The run's --log line, when the options name a log.
void logRun(const Options& options, const MeterRun& run);

// Upgrades the meter on lead (its versionBefore already filled in run) and, unless
// options.noVerify, asks it for its version afterwards. Fills run and returns its exit code.
// The caller installs the stop signals first (stop_signals.h).
int upgradeMeter(const Options& options, const BridgeReport& lead, ProgressSink& view,
                 const MeterRunStyle& style, MeterRun& run);

} // namespace pxr7
