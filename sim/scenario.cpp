#include "scenario.h"

#include "key_value_text.h"

#include <cerrno>
#include <cstdlib>

namespace sim {

namespace {

constexpr int kMaxBridges = 64;

bool parseNumber(const std::string& text, long minimum, long maximum, long& out) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || value < minimum || value > maximum) {
        return false;
    }
    out = value;
    return true;
}

bool isAbsolutePath(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    if (path[0] == '/' || path[0] == '\\') {
        return true;
    }
    return path.size() > 1 && path[1] == ':'; // a Windows drive
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

class ScenarioReader {
public:
    ScenarioReader(Scenario& scenario, const std::string& baseFolder)
        : scenario_(scenario), baseFolder_(baseFolder) {}

    void global(const KeyValueEntry& e) {
        long number = 0;
        if (e.key == "bridges" && parseNumber(e.value, 0, kMaxBridges, number)) {
            bridgeCount_ = static_cast<int>(number);
        } else if (e.key == "state_file" && !e.value.empty()) {
            scenario_.stateFile = resolve(e.value);
        } else if (e.key == "latency_ms" && parseNumber(e.value, 0, 255, number)) {
            scenario_.latencyMs = static_cast<int>(number);
        } else if (e.key == "reenumerate_ms" && parseNumber(e.value, 0, 60000, number)) {
            scenario_.reenumerateMs = static_cast<int>(number);
        } else {
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
        if (!bridgeKey(scenario_.bridges[static_cast<std::size_t>(e.bridge)], e)) {
            problem(e);
        }
    }

    void finish(const KeyValueText& text) {
        int count = bridgeCount_;
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
    bool bridgeKey(BridgeScenario& b, const KeyValueEntry& e) {
        const std::string& v = e.value;
        long number = 0;
        if (e.key == "eeprom") {
            return choose(v, {"right", "factory"}, [&](int i) { b.factoryEeprom = i == 1; });
        }
        if (e.key == "open") {
            return choose(v, {"ok", "fail"}, [&](int i) { b.openFails = i == 1; });
        }
        if (e.key == "eeprom_read") {
            return choose(v, {"ok", "fail"}, [&](int i) { b.eepromReadFails = i == 1; });
        }
        if (e.key == "eeprom_program") {
            return choose(v, {"ok", "fail"}, [&](int i) { b.eepromProgramFails = i == 1; });
        }
        if (e.key == "version") {
            b.version = v;
            return true;
        }
        if (e.key == "version_after_upgrade") {
            b.versionAfterUpgrade = v;
            return true;
        }
        if (e.key == "version_reply") {
            return choose(v,
                          {"normal", "nak", "silent", "bad_checksum", "empty", "oversize", "split"},
                          [&](int i) { b.versionReply = static_cast<VersionReply>(i); });
        }
        if (e.key == "split_gap_ms" && parseNumber(v, 0, 10000, number)) {
            b.splitGapMs = static_cast<int>(number);
            return true;
        }
        if (e.key == "capture" && !v.empty()) {
            b.capturePath = resolve(v);
            return true;
        }
        if (e.key == "expected_records" && parseNumber(v, 0, 1000000, number)) {
            b.expectedRecords = number;
            return true;
        }
        if (e.key == "boot_delay_ms" && parseNumber(v, 0, 60000, number)) {
            b.bootDelayMs = static_cast<int>(number);
            return true;
        }
        if (e.key == "flash_delay_ms" && parseNumber(v, 0, 60000, number)) {
            b.flashDelayMs = static_cast<int>(number);
            return true;
        }
        if (e.key == "handshake") {
            return handshake(b, v);
        }
        if (e.key == "stop_after_record" && parseNumber(v, 0, 1000000, number)) {
            b.stopAfterRecord = number;
            return true;
        }
        if (e.key == "reads_fail_from_record" && parseNumber(v, 0, 1000000, number)) {
            b.readsFailFromRecord = number;
            return true;
        }
        if (e.key == "corrupt_record" && parseNumber(v, 0, 1000000, number)) {
            b.corruptRecord = number;
            return true;
        }
        if (e.key == "description") {
            b.hasDescription = true;
            b.description = v;
            return true;
        }
        if (e.key == "serial") {
            b.hasSerialNumber = true;
            b.serialNumber = v;
            return true;
        }
        if (e.key.compare(0, 7, "eeprom.") == 0 && parseNumber(v, 0, 0xFFFF, number)) {
            b.eepromFields.emplace_back(e.key.substr(7), number);
            return true;
        }
        return false;
    }

    static bool handshake(BridgeScenario& b, const std::string& v) {
        long number = 0;
        if (v == "normal" || v == "none") {
            b.handshake = v == "none" ? Handshake::None : Handshake::Normal;
            return true;
        }
        if (v.compare(0, 5, "late:") == 0 && parseNumber(v.substr(5), 0, 60000, number)) {
            b.handshake = Handshake::Late;
            b.handshakeLateMs = static_cast<int>(number);
            return true;
        }
        return false;
    }

    template <typename Apply>
    static bool choose(const std::string& value, std::initializer_list<const char*> names,
                       Apply apply) {
        int i = 0;
        for (const char* name : names) {
            if (value == name) {
                apply(i);
                return true;
            }
            ++i;
        }
        return false;
    }

    std::string resolve(const std::string& path) const {
        if (isAbsolutePath(path) || baseFolder_.empty()) {
            return path;
        }
        return baseFolder_ + "/" + path;
    }

    void problem(const KeyValueEntry& e) {
        scenario_.problems.push_back("line " + std::to_string(e.line) + ": cannot use " + e.key +
                                     " = " + e.value);
    }

    Scenario& scenario_;
    std::string baseFolder_;
    int bridgeCount_ = -1;
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

} // namespace sim
