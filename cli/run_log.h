// The run log (--log FILE): one line per run appended to a file, for benches that upgrade
// many meters and want a record of each. A log that cannot be written never fails the run.
#pragma once

#include <ctime>
#include <string>

namespace pxr7 {

// What one run did. Empty texts are written as "" (unknown or none).
struct RunLogEntry {
    std::string command;       // "list", "setup", "upgrade", "about"
    std::string serial;        // the lead's serial number
    std::string versionBefore; // the meter's version before the run
    std::string versionAfter;  // and after it
    std::string outcome;       // one word: outcomeWordFor (exit_codes.h)
    int exitCode = 0;          // exitCodeOf the same outcome
};

// The line for entry at time when, without its line break:
//   time=2024-05-01T09:30:00Z command=upgrade serial=FT1A2B3C before="PXR7 V1.02"
//   after="PXR7 V1.03" outcome=success exit=0
// Values that are empty or hold blanks, quotes, '=' or backslashes are quoted, with '"' and
// '\' escaped by a backslash; control characters become '?' so a meter's text cannot split a
// run over two lines.
std::string formatRunLogLine(const RunLogEntry& entry, std::time_t when);

// Appends the line for entry, stamped now, to the file at path the way the record is
// appended to (appendLine, record.h): created 0600 if missing, in a folder that must exist;
// whole lines only; only a regular file takes it: a link, FIFO, terminal or device is refused
// without waiting on it. On failure prints one warning on stderr and returns false; the run's exit
// code stays as it is.
bool appendRunLog(const std::string& path, const RunLogEntry& entry);

} // namespace pxr7
