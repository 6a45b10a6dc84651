// What the soak prints: a line per run, and the counts over all runs with every violation.
#pragma once

#include "soak_checks.h"

#include <map>
#include <string>
#include <vector>

namespace soak {

void printRun(const BenchPlan& plan, const StationRun& run, const RunReport& report);

struct Tally {
    int runs = 0, units = 0, touched = 0, swapsAfterImage = 0, swapsUnderReset = 0;
    int unitIdLines = 0, unseenIdSwaps = 0;
    std::map<std::string, int> results;
    std::vector<Violation> violations;

    void add(const RunReport& report);
    void print() const;
};

} // namespace soak
