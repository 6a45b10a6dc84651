// The bridges as the command line shows them (a table, or JSON objects), and the choice of
// the meter lead a command works on: the one selected by --serial or --index, or the only
// lead present. Several leads and no selector is a refusal, as careful flashers do.
#pragma once

#include "bridge_survey.h"
#include "options.h"

#include <string>
#include <vector>

namespace pxr7 {

// The survey for a command: everything, or only the bridge the options select.
std::vector<BridgeReport> surveyForCommand(const Options& options);

// "meter", "no_answer", "busy", "needs_setup", "not_a_meter_lead" or "unusable".
const char* stateCode(BridgeState state);
// The state in words, with the version, the reason or the changes.
std::string stateText(const BridgeReport& report);
std::string bridgeJson(const BridgeReport& report);
// One line per bridge: index, serial number, description, state.
void printBridgeTable(const std::vector<BridgeReport>& reports);

struct TargetChoice {
    const BridgeReport* target = nullptr; // null: see exitCode and problem
    int exitCode = 0;
    std::string problem;
};

TargetChoice chooseTarget(const std::vector<BridgeReport>& reports, const Options& options);

} // namespace pxr7
