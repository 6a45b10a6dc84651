// What the record says, summed up: per lead, how many meters came out ok, current or failed and
// how the last one went; and the last entries. Lines that are not record lines (torn, edited,
// from another program) are counted and skipped.
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

struct RecordHistory {
    int entries = 0;                    // lines read as record lines
    int unreadable = 0;                 // other non-blank lines
    std::vector<LeadHistory> leads;     // in the order each lead first appears
    std::vector<RecordEntry> last;      // the last entries, oldest first
    std::vector<std::string> lastLines; // the lines of last as they stand, every field
};

// Sums up record lines handed over one at a time, oldest first, keeping the last lastCount
// entries; with a unitId, only the lines of that unit count (the others are neither entries nor
// unreadable). A record file and the database of every bench are summed up alike.
class RecordSummer {
public:
    RecordSummer(std::size_t lastCount, std::string unitId);
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
                              const std::string& unitId = "");

} // namespace pxr7
