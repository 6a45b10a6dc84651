#include "rig.h"

#include "rig_state_file.h"

#include <cstdio>
#include <cstdlib>

namespace sim {

namespace {

// Never reset, not even by a reload: a handle from before stays unknown for good.
std::uintptr_t g_nextToken = 0x5EED0010u;
constexpr std::uintptr_t kTokenStep = 0x10;

std::string serialNumberFor(std::size_t index) {
    char serial[16];
    std::snprintf(serial, sizeof serial, "PX7A%04u", static_cast<unsigned>(index % 10000));
    return serial;
}

EepromImage initialEeprom(const BridgeScenario& config, std::size_t index) {
    // The EEPROM holds one character less than FTDI's buffer, as for the description.
    const std::string serial =
        config.serialNumber.value_or(serialNumberFor(index)).substr(0, kSerialNumberSize - 1);
    EepromImage image = config.factoryEeprom ? factoryEeprom(serial) : rightEeprom(serial);
    if (config.description) {
        image.description = config.description->substr(0, kDescriptionSize - 1);
    }
    for (const auto& field : config.eepromFields) {
        if (!setEepromNumber(image, field.first, field.second)) {
            std::fprintf(stderr, "pxr7 simulator: no EEPROM field %s for the value %ld\n",
                         field.first.c_str(), field.second);
        }
    }
    return image;
}

} // namespace

Rig& theRig() {
    static Rig rig;
    return rig;
}

void Rig::ensureLoaded() {
    if (!loaded_) {
        load();
    }
}

void Rig::reload() {
    loaded_ = false;
    reloaded_ = true;
    load();
}

void Rig::load() {
    loaded_ = true;
    handles_.clear();
    bridges_.clear();
    infoList_.reset();
    // The bench's clock: from the library's load, and from each reset after that.
    origin_ = reloaded_ ? now() : 0;
    scenario_ = scenarioFromEnvironment();
    for (const std::string& problem : scenario_.problems) {
        std::fprintf(stderr, "pxr7 simulator: scenario %s\n", problem.c_str());
    }
    const char* tracePath = std::getenv("PXR7_SIM_TRACE");
    trace_.open(tracePath != nullptr ? tracePath : "");
    units_.open(scenario_.unitsLog, origin_);

    std::vector<BridgeState> states;
    for (std::size_t i = 0; i < scenario_.bridges.size(); ++i) {
        const BridgeScenario& config = scenario_.bridges[i];
        states.push_back(BridgeState{initialEeprom(config, i), config.version});
    }
    loadRigState(scenario_.stateFile, states);
    for (std::size_t i = 0; i < states.size(); ++i) {
        bridges_.push_back(std::make_unique<Bridge>(scenario_.bridges[i], states[i].eeprom,
                                                    states[i].version, scenario_.latencyMs, origin_,
                                                    &units_, static_cast<int>(i)));
    }
}

std::vector<int> Rig::presentBridges(Micros now) const {
    std::vector<int> present;
    for (std::size_t i = 0; i < bridges_.size(); ++i) {
        if (bridges_[i]->present(now)) {
            present.push_back(static_cast<int>(i));
        }
    }
    return present;
}

FT_HANDLE Rig::issueHandle(int bridgeIndex) {
    const std::uintptr_t token = g_nextToken;
    g_nextToken += kTokenStep;
    handles_[token] = Handle{bridgeIndex, false};
    return reinterpret_cast<FT_HANDLE>(token);
}

Rig::Handle* Rig::lookup(FT_HANDLE handle) {
    const auto found = handles_.find(reinterpret_cast<std::uintptr_t>(handle));
    return found == handles_.end() ? nullptr : &found->second;
}

void Rig::release(FT_HANDLE handle) {
    handles_.erase(reinterpret_cast<std::uintptr_t>(handle));
}

void Rig::killHandlesOf(int bridgeIndex) {
    for (auto& entry : handles_) {
        if (entry.second.bridge == bridgeIndex) {
            entry.second.dead = true;
        }
    }
}

void Rig::saveState() {
    if (scenario_.stateFile.empty()) {
        return;
    }
    std::vector<BridgeState> states;
    for (const auto& b : bridges_) {
        states.push_back(BridgeState{b->eeprom, b->meterVersion()});
    }
    if (!saveRigState(scenario_.stateFile, states)) {
        std::fprintf(stderr, "pxr7 simulator: cannot write %s\n", scenario_.stateFile.c_str());
    }
}

} // namespace sim
