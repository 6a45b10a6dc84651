// One station as the overview shows it, from the last snapshot it served (/api/snapshot) or
// from why it did not answer. Values only: the poller (station_overview.*) fills them.
#pragma once

#include "json_text.h"

#include <string>
#include <vector>

namespace pxr7 {

struct StationRow {
    std::string station; // the URL as named, e.g. "http://10.0.0.7:8470"
    bool asked = false;  // false until the first answer or failure
    bool answers = false;
    std::string awaySince;     // UTC ISO 8601 of the first failure in a row; "" while it answers
    std::string problem;       // why it does not answer
    std::string lastSeen;      // UTC ISO 8601 of the last good answer; "" never
    JsonValue snapshotSummary; // bench, lanes, totals, yield, meters_per_hour; null before one
};

// Takes a station's snapshot in (seen at `now`). False, with the reason in the row, when the
// text is no snapshot: the station then counts as away.
bool takeSnapshot(StationRow& row, const std::string& snapshot, const std::string& now);
// The station did not answer: away since the first failure, with the latest reason.
void markAway(StationRow& row, const std::string& problem, const std::string& now);

// {"schema":1,"stations":[...]} (docs/json.md, /api/overview).
std::string overviewJson(const std::vector<StationRow>& rows);

} // namespace pxr7
