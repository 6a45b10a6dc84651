// The one rule for counting outcomes: ok, current or failed, and a stopped meter in none of
// them. The station's totals, each lane's own counts, the pace, the live page and the
// history's figures all count through here, so no two of them can disagree about a meter.
#pragma once

#include "meter_run.h"

#include <string>

namespace pxr7 {

// Where a finished meter counts.
enum class Tally {
    Ok,
    Current,
    Failed,
    // A stop signal ended it: the meter did not fail, the station was stopped (its record line
    // says so with the signal's word, and the station ends with the signal's exit code).
    None,
};

Tally tallyOf(MeterOutcome outcome);
// From a record line's result word: "ok", "current", a stop signal's word, else a failure.
Tally tallyOfResult(const std::string& result);

// The same for the record's totals (the counts of /api/history and pxr7 history): there a
// stopped meter counts as failed, as the database's stored totals (record_totals) have always
// counted it. Changing that takes a migration of those totals, so it is kept here, named.
Tally recordTotalsTallyOf(const std::string& result);

// Adds one meter to counts with ok, current and failed members.
template <typename Counts> void addTally(Counts& counts, Tally tally) {
    switch (tally) {
    case Tally::Ok:
        ++counts.ok;
        break;
    case Tally::Current:
        ++counts.current;
        break;
    case Tally::Failed:
        ++counts.failed;
        break;
    case Tally::None:
        break;
    }
}

} // namespace pxr7
