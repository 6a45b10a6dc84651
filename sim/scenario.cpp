#include "scenario.h"

#include "key_value_text.h"
#include "scenario_keys.h"

#include <cstdlib>

namespace sim {

namespace {

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

class ScenarioReader {
public:
    ScenarioReader(Scenario& scenario, const std::string& baseFolder)
        : scenario_(scenario), context_{baseFolder} {}

    void global(const KeyValueEntry& e) {
        if (!applyGlobalKey(e.key, e.value, context_, scenario_)) {
            problem(e);
        }
    }

    void bridge(const KeyValueEntry& e) {
        if (e.bridge >= kMaxBridges) {
            problem(e);
            return;
        }
        if (static_cast<int>(scenario_.bridges.size()) <= e.bridge) {
            scenario_.bridges.resize(static_cast<std::size_t>(e.bridge) + 1);
        }
        BridgeScenario& b = scenario_.bridges[static_cast<std::size_t>(e.bridge)];
        if (!applyBridgeKey(e.key, e.value, context_, b)) {
            problem(e);
        }
    }

    void finish(const KeyValueText& text) {
        int count = scenario_.declaredBridges;
        if (count < 0) {
            count = 0;
            for (const int n : text.sections) {
                count = n + 1 > count ? n + 1 : count;
            }
            count = count == 0 ? 1 : count;
        }
        scenario_.bridges.resize(static_cast<std::size_t>(count));
        for (const std::string& p : text.problems) {
            scenario_.problems.push_back(p);
        }
    }

private:
    void problem(const KeyValueEntry& e) {
        scenario_.problems.push_back("line " + std::to_string(e.line) + ": cannot use " + e.key +
                                     " = " + e.value);
    }

    Scenario& scenario_;
    KeyContext context_;
};

} // namespace

Scenario parseScenario(const std::string& text, const std::string& baseFolder) {
    Scenario scenario;
    const KeyValueText parsed = parseKeyValueText(text);
    ScenarioReader reader(scenario, baseFolder);
    for (const KeyValueEntry& entry : parsed.entries) {
        if (entry.bridge < 0) {
            reader.global(entry);
        } else {
            reader.bridge(entry);
        }
    }
    reader.finish(parsed);
    return scenario;
}

Scenario scenarioFromEnvironment() {
    const char* path = std::getenv("PXR7_SIM_SCENARIO");
    if (path == nullptr || *path == '\0') {
        return parseScenario("", "");
    }
    std::string text;
    if (!readWholeFile(path, text)) {
        Scenario scenario = parseScenario("", "");
        scenario.problems.push_back(std::string("cannot read scenario file ") + path);
        return scenario;
    }
    return parseScenario(text, folderOf(path));
}

std::uint32_t bridgeLocation(const BridgeScenario& config, int bridgeNumber) {
    if (config.location) {
        return *config.location;
    }
    constexpr std::uint32_t kBusOne = 0x01000000;
    constexpr int kPortsPerHub = 15;
    if (bridgeNumber < kPortsPerHub) {
        return kBusOne | static_cast<std::uint32_t>(bridgeNumber + 1) << 20;
    }
    return kBusOne | static_cast<std::uint32_t>(bridgeNumber / kPortsPerHub) << 20 |
           static_cast<std::uint32_t>(bridgeNumber % kPortsPerHub + 1) << 16;
}

int locationPath(std::uint32_t location, std::uint8_t& bus, std::uint8_t (&ports)[kMaxPortDepth]) {
    bus = static_cast<std::uint8_t>(location >> 24);
    int depth = 0;
    for (int shift = 20; shift >= 0 && depth < kMaxPortDepth; shift -= 4) {
        const auto port = static_cast<std::uint8_t>(location >> shift & 0xF);
        if (port == 0) {
            break;
        }
        ports[depth++] = port;
    }
    return depth;
}

} // namespace sim
