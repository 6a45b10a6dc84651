// The state file: what a real rig would remember between program runs, namely each bridge's
// EEPROM and the version of the firmware its meter runs. Same text format as the scenario:
//   [bridge 0]
//   version = "PXR7 V1.03"
//   Description = "Tavelin QVRX"
//   PnP = 0
//   ...
#pragma once

#include "eeprom_image.h"

#include <string>
#include <vector>

namespace sim {

struct BridgeState {
    EepromImage eeprom;
    std::string version;
};

// Overrides the entries of states with what the file holds. Returns false if there is no file;
// bridges the file does not mention are left alone, unknown lines are ignored.
bool loadRigState(const std::string& path, std::vector<BridgeState>& states);

bool saveRigState(const std::string& path, const std::vector<BridgeState>& states);

} // namespace sim
