// pxr7 history's options, read by the summary (history_command.cpp) and by --verify
// (history_verify.cpp).
#pragma once

#include "shared_options.h"

#include <string>

namespace pxr7 {

struct HistoryOptions {
    std::string recordPath; // empty: the default record (record.h)
    int lastEntries = 10;   // the last entries shown
    std::string unitId;     // empty: every unit; else only the lines of this one
    std::string benchName;  // empty: every bench; else only the lines of this one
    std::string serve;      // "[HOST:]PORT" of the history pages; "" none
    std::string database;   // "postgresql://..."; "" reads the record file
    bool verify = false;    // walk the record's chain instead of summing it up
    PageAccessOptions access;
    bool json = false; // the program's --json, set as the command runs
};

// history --verify: the record's or the database's chain walked.
Outcome runHistoryVerify(const HistoryOptions& options);

} // namespace pxr7
