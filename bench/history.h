// What the record says, summed up: per bench, then per lead, how many meters came out ok,
// current or failed and how the last one went; and the last entries. Lines that are not record
// lines (torn, edited, from another program) are counted and skipped.
#pragma once

#include "record.h"

#include <istream>
#include <memory>
#include <string>
#include <vector>

namespace pxr7 {

struct LeadHistory {
    std::string serial;
    std::string location; // "" when unknown
    int ok = 0, current = 0, failed = 0;
    RecordEntry last;
};

struct BenchHistory {
    std::string name; // the line's bench, or for a line written before lines had one its host
    int ok = 0, current = 0, failed = 0;
    std::vector<LeadHistory> leads; // of this bench, in the order each first appears
};

struct RecordHistory {
    int entries = 0;                    // lines read as record lines
    int unreadable = 0;                 // other non-blank lines
    std::vector<BenchHistory> benches;  // in the order each bench first appears
    std::vector<LeadHistory> leads;     // of every bench, in the order each lead first appears
    std::vector<RecordEntry> last;      // the last entries, oldest first
    std::vector<std::string> lastLines; // the lines of last as they stand, every field
};

// Sums up record lines handed over one at a time, oldest first, keeping the last lastCount
// entries; with a unitId, only the lines of that unit count, and with a bench only the lines of
// that bench (the others are neither entries nor unreadable). A record file and the database of
// every bench are summed up alike.
class RecordSummer {
public:
    RecordSummer(std::size_t lastCount, std::string unitId, std::string bench = "");
    ~RecordSummer();
    RecordSummer(const RecordSummer&) = delete;
    RecordSummer& operator=(const RecordSummer&) = delete;

    void add(const std::string& line);
    // The summary of every line added; the summer is spent.
    RecordHistory finish();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Reads the record line by line through a RecordSummer.
RecordHistory summariseRecord(std::istream& record, std::size_t lastCount,
                              const std::string& unitId = "", const std::string& bench = "");

} // namespace pxr7
