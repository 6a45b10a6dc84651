#include "rig_state_file.h"

#include "key_value_text.h"

namespace sim {

bool loadRigState(const std::string& path, std::vector<BridgeState>& states) {
    std::string text;
    if (path.empty() || !readWholeFile(path, text)) {
        return false;
    }
    const KeyValueText parsed = parseKeyValueText(text);
    for (const KeyValueEntry& entry : parsed.entries) {
        if (entry.bridge < 0 || entry.bridge >= static_cast<int>(states.size())) {
            continue;
        }
        BridgeState& state = states[static_cast<std::size_t>(entry.bridge)];
        if (entry.key == "version") {
            state.version = entry.value;
        } else {
            eepromFieldFromText(state.eeprom, entry.key, entry.value);
        }
    }
    return true;
}

bool saveRigState(const std::string& path, const std::vector<BridgeState>& states) {
    std::string text = "# Simulated PXR7 rig: bridge EEPROMs and meter firmware versions.\n";
    for (std::size_t i = 0; i < states.size(); ++i) {
        text += "\n[bridge " + std::to_string(i) + "]\n";
        text += "version = " + quoteValue(states[i].version) + "\n";
        text += eepromToText(states[i].eeprom);
    }
    return writeWholeFile(path, text);
}

} // namespace sim
