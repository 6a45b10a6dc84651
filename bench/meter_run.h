// One meter's run as a value: which lead it was on, the versions before and after, how far the
// transfer got, and how it ended. Words and exit codes for it are made at the edge.
#pragma once

#include "bridge_survey.h"
#include "exit_codes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pxr7 {

// One transfer of a unit's serve and how it ended.
struct AttemptResult {
    Outcome outcome = Outcome::Ok;
    std::int32_t recordsSent = 0;
};

// How a unit ended.
enum class MeterOutcome {
    Ok,      // upgraded and verified (or upgraded, where verification was not asked for)
    Current, // already ran the image's version: nothing was sent
    Failed,  // code() says how
    Stopped, // a stop signal ended it; code() is the signal's
};

struct MeterRun {
    // How it ended: Outcome::Ok (upgraded, or current), the failure's outcome, or the stop
    // signal's.
    Outcome code() const { return code_; }
    MeterOutcome outcome() const { return kind_; }
    // Set the end, and its kind with it, so that "current" and a failure can never disagree.
    void endWith(Outcome code);
    void endCurrent(); // nothing sent: the meter already runs the image's version

    std::string serial;
    int index = -1;
    std::string laneName;                  // the lead's name on the bench; "" when none
    std::string unitId;                    // the id the operator gave the unit; "" when none
    std::optional<std::uint32_t> location; // the lead's USB location, where known
    std::string versionBefore;
    std::string versionAfter;
    std::int32_t recordsSent = 0;
    std::int32_t recordsTotal = 0;
    int attempts = 0;                          // transfers started (0 for a meter already current)
    std::vector<AttemptResult> attemptResults; // each transfer's own end, in order
    int furthestAttempt = 0;                   // the attempt that sent the most records (0: none)
    std::int32_t furthestRecords = 0;          // how many it sent
    double seconds = 0;
    std::string diagnosis; // what went wrong and what to do, for a failure

    // Whether the meter received a reset pulse or any record: it must be recorded.
    bool touched() const { return attempts > 0; }

private:
    Outcome code_ = Outcome::Ok;
    MeterOutcome kind_ = MeterOutcome::Ok;
};

// "ok", "current", or the failure's (or signal's) stable error word.
const char* resultWord(const MeterRun& run);

struct RunSettings {
    bool verify = true;
    std::string declaredVersion; // the image's version; empty: any answer verifies
};

// The run as it stands before anything is sent: the lead's serial number, index and version.
MeterRun meterRunFor(const BridgeReport& lead);

} // namespace pxr7
