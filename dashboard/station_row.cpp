#include "station_row.h"

namespace pxr7 {

namespace {

// How many lanes are sending, waiting for a meter, or failed, of the snapshot's lanes.
JsonValue laneCounts(const JsonValue& lanes) {
    int sending = 0, waiting = 0, failed = 0;
    for (const JsonValue& lane : lanes) {
        const std::string state = lane.value("state", "");
        if (lane.value("tone", "") == "bad") {
            ++failed;
        } else if (state == "running" || state == "meter_arrived") {
            ++sending;
        } else if (state == "waiting" || state == "looking") {
            ++waiting;
        }
    }
    JsonValue counts = JsonValue::object();
    counts["count"] = lanes.size();
    counts["sending"] = sending;
    counts["waiting"] = waiting;
    counts["failed"] = failed;
    return counts;
}

// A value of the snapshot's header when it has the expected kind, else null.
JsonValue headerValue(const JsonValue& header, const char* key, bool (JsonValue::*kind)() const) {
    const auto found = header.find(key);
    return found != header.end() && ((*found).*kind)() ? *found : JsonValue(nullptr);
}

JsonValue textOrNull(const std::string& text) {
    return text.empty() ? JsonValue(nullptr) : jsonText(text);
}

} // namespace

bool takeSnapshot(StationRow& row, const std::string& snapshot, const std::string& now) {
    const JsonValue json = parseJsonLine(snapshot);
    if (!json.is_object() || !json.contains("header") || !json["header"].is_object() ||
        !json.contains("lanes") || !json["lanes"].is_array()) {
        markAway(row, "its answer is no station's snapshot", now);
        return false;
    }
    const JsonValue& header = json["header"];
    JsonValue summary = JsonValue::object();
    summary["bench"] = headerValue(header, "bench", &JsonValue::is_string);
    summary["lanes"] = laneCounts(json["lanes"]);
    summary["totals"] = headerValue(header, "totals", &JsonValue::is_object);
    summary["yield"] = headerValue(header, "yield", &JsonValue::is_number);
    summary["meters_per_hour"] = headerValue(header, "meters_per_hour", &JsonValue::is_number);
    summary["ended"] = header.value("ended", false);
    row.snapshotSummary = std::move(summary);
    row.asked = row.answers = true;
    row.awaySince.clear();
    row.problem.clear();
    row.lastSeen = now;
    return true;
}

void markAway(StationRow& row, const std::string& problem, const std::string& now) {
    if (row.answers || !row.asked) {
        row.awaySince = now;
    }
    row.asked = true;
    row.answers = false;
    row.problem = problem;
}

std::string overviewJson(const std::vector<StationRow>& rows) {
    JsonValue json = JsonValue::object();
    json["schema"] = 1;
    json["stations"] = JsonValue::array();
    for (const StationRow& row : rows) {
        JsonValue item = JsonValue::object();
        item["station"] = jsonText(row.station);
        item["answers"] = row.asked ? JsonValue(row.answers) : JsonValue(nullptr);
        item["away_since"] = textOrNull(row.awaySince);
        item["problem"] = textOrNull(row.problem);
        item["last_seen"] = textOrNull(row.lastSeen);
        // What it said last, also while it is away: its figures as they were.
        const JsonValue& seen = row.snapshotSummary;
        for (const char* key : {"bench", "lanes", "totals", "yield", "meters_per_hour", "ended"}) {
            item[key] = seen.is_object() ? seen[key] : JsonValue(nullptr);
        }
        json["stations"].push_back(std::move(item));
    }
    return jsonLine(json);
}

} // namespace pxr7
