// The scenario's keys, as two tables (global and per bridge) with one entry per key: its name,
// how its value is read and which setting it goes to. README.md lists the same keys.
#pragma once

#include "scenario.h"

#include <string>

namespace sim {

// Besides the value, a key may need the folder relative paths start from.
struct KeyContext {
    std::string baseFolder;
};

// Applies a global key to scenario (or a per-bridge key to bridge). False for an unknown key
// or a value the key cannot use; the setting is then left as it was.
bool applyGlobalKey(const std::string& key, const std::string& value, const KeyContext& context,
                    Scenario& scenario);
bool applyBridgeKey(const std::string& key, const std::string& value, const KeyContext& context,
                    BridgeScenario& bridge);

} // namespace sim
