// What an upgrade command will do with the bridges a survey found, decided before anything is
// written: which leads to upgrade, which to set up first, which are already done (current, or
// left out with a reason), or a refusal.
#pragma once

#include "command_result.h"
#include "meter_run.h"
#include "target_choice.h"

#include <vector>

namespace pxr7 {

struct UpgradeRequest {
    Selection selection;
    bool skipIfCurrent = false;
    std::string declaredVersion; // the image's version; empty: unknown
};

struct UpgradePlan {
    CommandResult refusal;             // not ok: nothing is done
    std::vector<BridgeReport> upgrade; // leads whose meters are upgraded
    std::vector<BridgeReport> setUp;   // leads whose EEPROM needs setting up first
    std::vector<MeterRun> settled;     // already current, or left out with their reason (with
                                       // --all: every bridge that could not be reached too)
};

UpgradePlan planUpgrade(const std::vector<BridgeReport>& reports, const UpgradeRequest& request);

// The command that sets a lead up: by serial number where that finds it, else by index.
std::string setupCommandFor(const BridgeReport& lead);
// A lead that needs setup and got no consent: nothing written, the command to run instead.
MeterRun needsSetupRun(const BridgeReport& lead);

// A lead taken off plan.setUp once its setup has been tried (setup: how that went): upgraded
// if it came back and its plan says so, else settled with the reason. Looks at the lead again.
void replanAfterSetup(UpgradePlan& plan, BridgeReport lead, const CommandResult& setup,
                      const UpgradeRequest& request);

// Whether a lead's meter already runs the image's version.
bool isCurrent(const BridgeReport& lead, const std::string& declaredVersion);

} // namespace pxr7
