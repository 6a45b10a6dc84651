// The checks that need no unit matching: leads left alone, the exit code, the watchdog.
#include "soak_checks.h"

#include "exit_codes.h"
#include "rig_files.h"

#include <algorithm>
#include <csignal>
#include <map>

namespace soak {

namespace {

bool failedResult(const std::string& result) {
    return result != "ok" && result != "current";
}

void add(RunReport& report, const char* kind, const std::string& text) {
    report.violations.push_back(Violation{kind, text});
}

} // namespace

std::string where(const BenchPlan& plan, int bridge) {
    for (const LeadPlan& lead : plan.leads) {
        if (lead.bridge == bridge) {
            return "seed " + std::to_string(plan.seed) + ", lead " + leadName(lead);
        }
    }
    return "seed " + std::to_string(plan.seed) + ", bridge " + std::to_string(bridge);
}

namespace {

// The station learns of twins by looking at the bus once a second; a reset begun on one of
// them after both had been on the bus that long is one it should not have made. A reset that
// ends a transfer (asserted and cleared at once) belongs to a transfer begun before.
constexpr long kTwinSeenWithinMs = 2500;
constexpr long kHoldAtLeastMs = 500;

void checkUntoldTwins(const RunFacts& facts, RunReport& report) {
    for (const LeadPlan& lead : facts.plan.leads) {
        const auto found = facts.truth.dtr.find(lead.bridge);
        if (!lead.untoldTwin || found == facts.truth.dtr.end()) {
            continue;
        }
        const auto& edges = found->second;
        for (std::size_t i = 0; i + 1 < edges.size(); ++i) {
            const long at = edges[i].first;
            const bool hold = edges[i].second && !edges[i + 1].second &&
                              edges[i + 1].first - at >= kHoldAtLeastMs;
            if (hold && twinAlongside(facts.plan, lead, at - kTwinSeenWithinMs, at)) {
                add(report, "touched_left_alone",
                    where(facts.plan, lead.bridge) + ": a reset at " + std::to_string(at) +
                        " ms while its twin, which nothing tells apart, was on the bus too");
            }
        }
    }
}

} // namespace

void checkLeftAlone(const RunFacts& facts, RunReport& report) {
    checkUntoldTwins(facts, report);
    std::map<int, std::map<std::string, int>> calls; // bridge -> call -> count
    for (const std::string& line : facts.trace) {
        const std::string bridge = simrig::valueOf(line, "bridge");
        if (!bridge.empty() && bridge != "?") {
            ++calls[std::stoi(bridge)][simrig::callName(line)];
        }
    }
    for (const LeadPlan& lead : facts.plan.leads) {
        std::map<std::string, int>& made = calls[lead.bridge];
        std::vector<std::string> forbidden;
        if (lead.noResets) {
            forbidden = {"FT_SetDtr", "FT_EE_Program"};
        }
        if (lead.noWrites) {
            forbidden.push_back("FT_Write");
        }
        for (const std::string& call : forbidden) {
            if (made[call] > 0) {
                add(report, "touched_left_alone",
                    where(facts.plan, lead.bridge) + ": " + std::to_string(made[call]) + " " +
                        call + " on a lead the station must leave alone");
            }
        }
    }
}

// The signal's code, or what a drained first Ctrl+C ends with: 17 if any line failed, else 0.
void checkExitCode(const RunFacts& facts, RunReport& report) {
    const StationRun& run = facts.run;
    const std::string seed = "seed " + std::to_string(facts.plan.seed);
    if (!run.signalled) {
        add(report, "ended_early",
            seed + ": the station ended before it was stopped, exit code " +
                std::to_string(run.exitCode));
        return;
    }
    if (run.neededKill) {
        add(report, "hang", seed + ": the station did not end on SIGTERM; SIGKILL ended it");
    } else if (run.neededTerm) {
        add(report, "hang", seed + ": the station did not end within the bound after Ctrl+C");
    }
    const bool failed = std::any_of(facts.lines.begin(), facts.lines.end(),
                                    [](const RecordLine& l) { return failedResult(l.result); });
    using pxr7::exitCodeOf;
    using pxr7::Outcome;
    const Outcome drained = failed ? Outcome::StationFailures : Outcome::Ok;
    std::vector<int> allowed = {exitCodeOf(drained)};
    if (facts.plan.stop == StopMode::Terminate || run.neededTerm) {
        allowed = {exitCodeOf(Outcome::Terminated)};
    } else if (run.secondSignal) {
        // The station may have drained before the second Ctrl+C reached it.
        allowed.push_back(exitCodeOf(Outcome::Interrupted));
    }
    if (!run.neededKill &&
        std::find(allowed.begin(), allowed.end(), run.exitCode) == allowed.end()) {
        add(report, "exit_code",
            seed + ": exit code " + std::to_string(run.exitCode) + ", but " +
                std::to_string(allowed.front()) + " fits the record (" +
                (failed ? "a meter failed" : "no meter failed") + ") and the signal");
    }
}

RunReport checkRun(const RunFacts& facts) {
    RunReport report;
    for (const RecordLine& line : facts.lines) {
        ++report.results[line.result];
    }
    checkUnitsAndLines(facts, report);
    checkLeftAlone(facts, report);
    checkExitCode(facts, report);
    return report;
}

} // namespace soak
