#include "scenario_keys.h"

#include "eeprom_image.h"
#include "key_value_text.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <vector>

namespace sim {

namespace {

constexpr long kMaxRecord = 1000000;
constexpr long kMaxMs = 60000;
// Times on the bench's clock may lie far ahead: a day.
constexpr long kMaxBenchMs = 86400000;

template <typename Target>
using ReadValue = std::function<bool(const std::string&, const KeyContext&, Target&)>;

template <typename Target> struct KeyRule {
    std::string key;
    ReadValue<Target> read;
};

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

// The value readers: each makes the "how it is read" and "where it goes" of a table entry.

template <typename Target, typename Field>
ReadValue<Target> number(Field Target::*field, long minimum, long maximum) {
    return [=](const std::string& value, const KeyContext&, Target& target) {
        long n = 0;
        if (!parseNumber(value, minimum, maximum, n)) {
            return false;
        }
        target.*field = static_cast<Field>(n);
        return true;
    };
}

// Any text, blanks and empty included.
template <typename Target, typename Field> ReadValue<Target> text(Field Target::*field) {
    return [=](const std::string& value, const KeyContext&, Target& target) {
        target.*field = value;
        return true;
    };
}

// A file name, relative to the scenario's folder unless absolute.
template <typename Target> ReadValue<Target> path(std::string Target::*field) {
    return [=](const std::string& value, const KeyContext& context, Target& target) {
        if (value.empty()) {
            return false;
        }
        const bool asIs = isAbsolutePath(value) || context.baseFolder.empty();
        target.*field = asIs ? value : context.baseFolder + "/" + value;
        return true;
    };
}

// One of a few words, each standing for a value of the field.
template <typename Target, typename Field>
ReadValue<Target> oneOf(Field Target::*field, std::vector<std::pair<const char*, Field>> choices) {
    return [=](const std::string& value, const KeyContext&, Target& target) {
        for (const auto& choice : choices) {
            if (value == choice.first) {
                target.*field = choice.second;
                return true;
            }
        }
        return false;
    };
}

// A numeric EEPROM field by its FTDI name. A name or value the EEPROM cannot take is refused
// here, where the scenario line is still known.
ReadValue<BridgeScenario> eepromNumber(const std::string& name) {
    return [=](const std::string& value, const KeyContext&, BridgeScenario& b) {
        long n = 0;
        EepromImage scratch;
        if (!parseNumber(value, 0, 0xFFFF, n) || !setEepromNumber(scratch, name, n)) {
            return false;
        }
        b.eepromFields.emplace_back(name, n);
        return true;
    };
}

bool readHandshake(const std::string& value, const KeyContext&, BridgeScenario& b) {
    long ms = 0;
    if (value == "normal" || value == "none") {
        b.handshake = value == "none" ? Handshake::None : Handshake::Normal;
        return true;
    }
    if (value.compare(0, 5, "late:") == 0 && parseNumber(value.substr(5), 0, kMaxMs, ms)) {
        b.handshake = Handshake::Late;
        b.handshakeLateMs = static_cast<int>(ms);
        return true;
    }
    return false;
}

// fail:handshake, fail:record:K, short:handshake or short:record:K.
bool readWriteFault(const std::string& value, const KeyContext&, BridgeScenario& b) {
    const std::size_t colon = value.find(':');
    const std::string effect = value.substr(0, colon);
    const std::string which = colon == std::string::npos ? "" : value.substr(colon + 1);
    WriteFault fault;
    if (effect == "fail" || effect == "short") {
        fault.effect = effect == "fail" ? WriteFaultEffect::Fail : WriteFaultEffect::Short;
    } else {
        return false;
    }
    if (which != "handshake" && (which.compare(0, 7, "record:") != 0 ||
                                 !parseNumber(which.substr(7), 0, kMaxRecord, fault.record))) {
        return false;
    }
    b.writeFault = fault;
    return true;
}

// Splits a comma-separated list and reads each item; false if any item cannot be read.
template <typename Item>
bool readList(const std::string& value, const std::function<bool(const std::string&, Item&)>& read,
              std::vector<Item>& items) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = value.find(',', start);
        Item item{};
        if (!read(trim(value.substr(start, comma - start)), item)) {
            return false;
        }
        items.push_back(item);
        if (comma == std::string::npos) {
            return true;
        }
        start = comma + 1;
    }
}

// A-B: a window in ms, not empty.
bool readWindow(const std::string& text, std::pair<long, long>& window) {
    const std::size_t dash = text.find('-');
    return dash != std::string::npos &&
           parseNumber(trim(text.substr(0, dash)), 0, kMaxBenchMs, window.first) &&
           parseNumber(trim(text.substr(dash + 1)), 0, kMaxBenchMs, window.second) &&
           window.second > window.first;
}

// A-B,C-D: windows in ms, each starting no earlier than the one before ends.
ReadValue<BridgeScenario> windows(std::vector<std::pair<long, long>> BridgeScenario::*field) {
    return [=](const std::string& value, const KeyContext&, BridgeScenario& b) {
        std::vector<std::pair<long, long>> list;
        if (!readList<std::pair<long, long>>(value, readWindow, list)) {
            return false;
        }
        for (std::size_t i = 1; i < list.size(); ++i) {
            if (list[i].first < list[i - 1].second) {
                return false;
            }
        }
        b.*field = list;
        return true;
    };
}

// Window numbers, comma-separated.
bool readUpgradedWindows(const std::string& value, const KeyContext&, BridgeScenario& b) {
    std::vector<long> numbers;
    const auto readNumber = [](const std::string& item, long& out) {
        return parseNumber(item, 0, kMaxRecord, out);
    };
    if (!readList<long>(value, readNumber, numbers)) {
        return false;
    }
    b.upgradedWindows = numbers;
    return true;
}

// Comma-separated FTDI names of the EEPROM's strings.
bool readUnterminated(const std::string& value, const KeyContext&, BridgeScenario& b) {
    using U = UnterminatedStrings;
    static const std::pair<const char*, bool U::*> names[] = {
        {"Manufacturer", &U::manufacturer},
        {"ManufacturerId", &U::manufacturerId},
        {"Description", &U::description},
        {"SerialNumber", &U::serialNumber},
    };
    UnterminatedStrings chosen;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = value.find(',', start);
        const std::string name = trim(value.substr(start, comma - start));
        bool known = false;
        for (const auto& entry : names) {
            if (name == entry.first) {
                chosen.*entry.second = true;
                known = true;
            }
        }
        if (!known) {
            return false;
        }
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    b.unterminated = chosen;
    return true;
}

using B = BridgeScenario;

const std::vector<KeyRule<Scenario>>& globalKeys() {
    static const std::vector<KeyRule<Scenario>> keys = {
        {"bridges", number(&Scenario::declaredBridges, 0, kMaxBridges)},
        {"state_file", path(&Scenario::stateFile)},
        {"latency_ms", number(&Scenario::latencyMs, 0, 255)},
        {"reenumerate_ms", number(&Scenario::reenumerateMs, 0, kMaxMs)},
        {"locations", oneOf(&Scenario::locationsKnown, {{"known", true}, {"none", false}})},
        {"units_log", path(&Scenario::unitsLog)},
    };
    return keys;
}

std::vector<KeyRule<BridgeScenario>> makeBridgeKeys() {
    const std::vector<std::pair<const char*, bool>> okOrFail = {{"ok", false}, {"fail", true}};
    std::vector<KeyRule<BridgeScenario>> keys = {
        {"eeprom", oneOf(&B::factoryEeprom, {{"right", false}, {"factory", true}})},
        {"description", text(&B::description)},
        {"serial", text(&B::serialNumber)},
        {"vid", eepromNumber("VendorId")},
        {"pid", eepromNumber("ProductId")},
        {"device_type", number(&B::deviceType, 0, 255)},
        {"location", number(&B::location, 1, 0x7FFFFFFF)},
        {"unplug_after_opens", number(&B::unplugAfterOpens, 1, 1000000)},
        {"open", oneOf(&B::open, {{"ok", OpenMode::Ok},
                                  {"fail", OpenMode::Fail},
                                  {"null_handle", OpenMode::NullHandle}})},
        {"held_by", oneOf(&B::heldBy, {{"ftdi_sio", HeldBy::FtdiSio},
                                       {"nobody", HeldBy::Nobody},
                                       {"other_program", HeldBy::OtherProgram}})},
        {"eeprom_read", oneOf(&B::eepromReadFails, okOrFail)},
        {"eeprom_program", oneOf(&B::eepromProgramFails, okOrFail)},
        {"unterminated", readUnterminated},
        {"version", text(&B::version)},
        {"version_after_upgrade", text(&B::versionAfterUpgrade)},
        {"version_reply", oneOf(&B::versionReply, {{"normal", VersionReply::Normal},
                                                   {"nak", VersionReply::Nak},
                                                   {"silent", VersionReply::Silent},
                                                   {"bad_checksum", VersionReply::BadChecksum},
                                                   {"empty", VersionReply::Empty},
                                                   {"oversize", VersionReply::Oversize},
                                                   {"split", VersionReply::Split}})},
        {"split_gap_ms", number(&B::splitGapMs, 0, 10000)},
        {"capture", path(&B::capturePath)},
        {"expected_records", number(&B::expectedRecords, 0, kMaxRecord)},
        {"boot_delay_ms", number(&B::bootDelayMs, 0, kMaxMs)},
        {"flash_delay_ms", number(&B::flashDelayMs, 0, kMaxMs)},
        {"start_delay_ms", number(&B::startDelayMs, 0, kMaxMs)},
        {"handshake", readHandshake},
        {"reset", oneOf(&B::resetIgnored, {{"normal", false}, {"ignored", true}})},
        {"boot_loader_answers", oneOf(&B::bootLoaderAnswers, {{"no", false}, {"version", true}})},
        {"stop_after_record", number(&B::stopAfterRecord, 0, kMaxRecord)},
        {"reads_fail_from_record", number(&B::readsFailFromRecord, 0, kMaxRecord)},
        {"hang_read_from_record", number(&B::hangReadFromRecord, 0, kMaxRecord)},
        {"corrupt_record", number(&B::corruptRecord, 0, kMaxRecord)},
        {"write_fault", readWriteFault},
        {"appear_ms", number(&B::appearMs, 0, kMaxBenchMs)},
        {"leave_ms", number(&B::leaveMs, 0, kMaxBenchMs)},
        {"meter_windows", windows(&B::meterWindows)},
        {"stop_once_after_record", number(&B::stopOnceAfterRecord, 0, kMaxRecord)},
        {"version_per_unit", oneOf(&B::versionPerUnit, {{"no", false}, {"yes", true}})},
        {"upgraded_windows", readUpgradedWindows},
        {"busy_ms", windows(&B::busyWindows)},
    };
    // eeprom.<Field>: one key per field of the EEPROM's own list.
#define SIM_EEPROM_KEY(field) keys.push_back({"eeprom." #field, eepromNumber(#field)});
    SIM_EEPROM_NUMBER_FIELDS(SIM_EEPROM_KEY)
#undef SIM_EEPROM_KEY
    return keys;
}

template <typename Target>
bool apply(const std::vector<KeyRule<Target>>& keys, const std::string& key,
           const std::string& value, const KeyContext& context, Target& target) {
    for (const KeyRule<Target>& rule : keys) {
        if (rule.key == key) {
            return rule.read(value, context, target);
        }
    }
    return false;
}

} // namespace

bool applyGlobalKey(const std::string& key, const std::string& value, const KeyContext& context,
                    Scenario& scenario) {
    return apply(globalKeys(), key, value, context, scenario);
}

bool applyBridgeKey(const std::string& key, const std::string& value, const KeyContext& context,
                    BridgeScenario& bridge) {
    static const std::vector<KeyRule<BridgeScenario>> keys = makeBridgeKeys();
    return apply(keys, key, value, context, bridge);
}

} // namespace sim
