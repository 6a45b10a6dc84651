#include "soak_tally.h"

#include <cstdio>

namespace soak {

namespace {

const char* stopWord(StopMode stop) {
    switch (stop) {
    case StopMode::Drain:
        return "Ctrl+C";
    case StopMode::Terminate:
        return "SIGTERM";
    case StopMode::InterruptTwice:
        return "Ctrl+C twice";
    }
    return "?";
}

std::string counts(const std::map<std::string, int>& byWord) {
    std::string text;
    for (const auto& entry : byWord) {
        text += (text.empty() ? "" : ", ") + entry.first + " " + std::to_string(entry.second);
    }
    return text.empty() ? "none" : text;
}

} // namespace

void printRun(const BenchPlan& plan, const StationRun& run, const RunReport& report) {
    std::printf("seed %u: %s at %.1f s%s%s%s, exit %d; %d units, %d reset or written; lines: %s; "
                "%zu violation(s)\n",
                plan.seed, stopWord(plan.stop), static_cast<double>(plan.stopAtMs) / 1000,
                plan.setup ? ", --setup" : "", plan.locationsKnown ? "" : ", no locations",
                plan.unitIds ? ", unit ids" : "", run.exitCode, report.units, report.touched,
                counts(report.results).c_str(), report.violations.size());
    std::fflush(stdout);
}

void Tally::add(const RunReport& report) {
    ++runs;
    units += report.units;
    touched += report.touched;
    swapsAfterImage += report.swapsAfterImage;
    swapsUnderReset += report.swapsUnderReset;
    unitIdLines += report.unitIdLines;
    unseenIdSwaps += report.unseenIdSwaps;
    for (const auto& entry : report.results) {
        results[entry.first] += entry.second;
    }
    violations.insert(violations.end(), report.violations.begin(), report.violations.end());
}

void Tally::print() const {
    std::map<std::string, int> kinds;
    for (const Violation& v : violations) {
        ++kinds[v.kind];
    }
    std::printf("runs: %d\nunits: %d attached, %d reset or written\noutcomes: %s\n"
                "cannot be told apart: %d ok after a swap for a unit already on the new version, "
                "%d unit(s) clipped on under another's reset, %d unit id(s) of a meter swapped "
                "off unseen just before its run\nunit ids: %d line(s) checked against the "
                "scans\nviolations: %zu (%s)\n",
                runs, units, touched, counts(results).c_str(), swapsAfterImage, swapsUnderReset,
                unseenIdSwaps, unitIdLines, violations.size(), counts(kinds).c_str());
    for (const Violation& v : violations) {
        std::printf("  [%s] %s\n", v.kind.c_str(), v.text.c_str());
    }
}

} // namespace soak
