// The record: one JSON line per finished meter, appended by `station` and `upgrade` to a file
// that only ever grows (docs/json.md). Each line says when, where (host, lead), what came of it
// (ok, current or the stable error word), the versions, and which image and program did it.
#pragma once

#include <cstdint>
#include <string>

namespace pxr7 {

struct MeterRun;

struct RecordEntry {
    std::string command; // "station" or "upgrade"
    std::string started; // UTC ISO 8601, e.g. 2026-12-08T09:30:00Z
    std::string finished;
    std::string leadSerial;
    int leadIndex = -1;
    std::string leadLocation;  // "" when unknown
    std::string result;        // "ok", "current", or the stable error word (errorWordFor)
    std::string versionBefore; // "" when the meter did not answer
    std::string versionAfter;
    int attempts = 1;
    std::int32_t recordsSent = 0, recordsTotal = 0;
    double seconds = 0;
};

std::string utcNow(); // ISO 8601, seconds
// $XDG_STATE_HOME/pxr7/record.jsonl (~/.local/state/pxr7/ when unset or not absolute),
// %LOCALAPPDATA%\pxr7\record.jsonl on Windows; "" when the environment names no home.
std::string defaultRecordPath();
// One JSON line (schema 1, no newline): the entry plus host, image SHA-256 and declared
// version, program version and backend in use, filled in here.
std::string recordLine(const RecordEntry& entry);
// Appends line + "\n" with one write (O_APPEND), fsync, creating the folder; false and the
// reason in problem if it could not. Never blocks on a FIFO (refuses non-regular files).
bool appendRecord(const std::string& path, const std::string& line, std::string& problem);

// The entry for a meter's run: its lead, versions, records and time; result "ok" or the run's
// error word; finished now, started the run's seconds before. The caller sets what the run
// does not know (location, attempts, "current").
RecordEntry recordEntryFor(const MeterRun& run, const char* command);

// A D2XX location id as the record shows it: "0x" and eight hex digits.
std::string locationText(std::uint32_t location);

} // namespace pxr7
