// Which meter lead a command works on: the one selected by --serial or --index, or the only
// lead present. Several leads and no selector is a refusal, as careful flashers do; so is a
// selection that finds no lead.
#pragma once

#include "bridge_survey.h"
#include "command_result.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pxr7 {

// The latency timer the command line sets for its version queries and transfers, where the
// library can: replies reach it at once, while the meter keeps its own pace.
constexpr std::uint8_t kBenchLatencyMs = 2;

struct Selection {
    std::string serial; // empty: none
    int index = -1;     // -1: none
    bool all = false;   // every meter lead

    bool selects() const { return !serial.empty() || index >= 0; }
    // "with serial number S" or "at index N".
    std::string text() const;
};

// The survey for a command: everything, or only the bridges the selection names, each
// meter asked at the bench's latency.
std::vector<BridgeReport> surveyFor(const Selection& selection);

// Reads where each meter lead sits on the USB bus, where the survey did not and the library can
// tell: an upgrade records it (and finds the lead again by it), as the station does.
void locateLeads(std::vector<BridgeReport>& reports);

struct TargetChoice {
    const BridgeReport* target = nullptr; // null: refused, see result
    CommandResult result;
};

TargetChoice chooseTarget(const std::vector<BridgeReport>& reports, const Selection& selection);

// A lead that shares its serial number with another (or has none) where the driver cannot
// tell where each is plugged in: nothing may be written to it, since it cannot be found again
// with certainty.
bool cannotBeToldApart(const BridgeReport& lead);
CommandResult lookAlikeRefusal(const BridgeReport& lead);

// What list ends with: a bridge asked for that is not there, or no bridge at all, is no meter
// lead; bridges that were all found busy (none could be opened) are busy; otherwise success,
// whatever the meters said.
CommandResult listOutcome(const std::vector<BridgeReport>& reports, const Selection& selection);

} // namespace pxr7
