// How meter runs are reported when a command ends: the JSON fields, the run log's line, the
// "before -> after" result, and the summary of several meters.
#pragma once

#include "meter_run.h"
#include "unit_ledger.h"

#include <vector>

namespace pxr7 {

class JsonObject;

// The run's own keys of a JSON result: exit_code, error, result (ok, current or the error
// word, as the record has it), serial, version_before, version_after, records_sent,
// records_total, duration_s. Unknown texts are null.
void addRunFields(JsonObject& object, const MeterRun& run);

// The record file given (--record), or the default one.
std::string recordPathFor(const std::string& given);

// The record's lines (record.h), command "upgrade", for the meters left alone because they
// already run the image's version (the upgraded ones are recorded as each ends). A record that
// cannot be written is one warning on stderr, nothing more.
void recordCurrent(UnitLedger& ledger, const std::string& path,
                   const std::vector<MeterRun>& settled);
void warnRecordProblem(const std::string& path, const std::string& problem);

// The runs' --log lines, when a log is named; one line with outcome if there are none.
void logRuns(const std::string& logPath, const std::vector<MeterRun>& runs, Outcome outcome);

// One meter: the result line ("PXR7 V1.02 -> PXR7 V1.03", or "current: PXR7 V1.03" for a meter
// left as it was) and the diagnosis of a failure.
void printRunResult(const MeterRun& run);

// Several meters: one row each (serial, result, records, versions), then each failure's
// diagnosis.
void printSummary(const std::vector<MeterRun>& runs);

} // namespace pxr7
