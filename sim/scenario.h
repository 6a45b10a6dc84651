// What the simulated rig looks like: the bridges, their EEPROMs and the meters behind them,
// read from the scenario file named by PXR7_SIM_SCENARIO (see README.md for every key).
#pragma once

#include "d2xx_types.h"
#include "eeprom_image.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sim {

// Bridge sections are numbered 0 to kMaxBridges - 1.
constexpr int kMaxBridges = 64;

enum class VersionReply { Normal, Nak, Silent, BadChecksum, Empty, Oversize, Split };
enum class Handshake { Normal, None, Late };
enum class WriteFaultEffect { None, Fail, Short };
// NullHandle: FT_Open reports success but hands out a null handle, as a broken library might.
enum class OpenMode { Ok, Fail, NullHandle };
// Who holds the bridge's USB interface when it enumerates (USB-level simulation only): the
// kernel's serial driver, nobody, or another program that claimed it and keeps it.
enum class HeldBy { FtdiSio, Nobody, OtherProgram };

// write_fault: how the misbehaving FT_Write of a transfer misbehaves, and which one it is.
struct WriteFault {
    WriteFaultEffect effect = WriteFaultEffect::None;
    long record = -1; // the write carrying this wire record; -1: the one carrying "{"
};

struct BridgeScenario {
    bool factoryEeprom = false;
    pxr7::ftd2xx::FT_DEVICE deviceType = pxr7::ftd2xx::FT_DEVICE_232R; // for FT_GetDeviceInfo
    OpenMode open = OpenMode::Ok;
    HeldBy heldBy = HeldBy::FtdiSio;
    bool eepromReadFails = false;
    bool eepromProgramFails = false;
    UnterminatedStrings unterminated;
    std::string version = "PXR7 V1.02";
    std::string versionAfterUpgrade = "PXR7 V1.03";
    VersionReply versionReply = VersionReply::Normal;
    int splitGapMs = 250;
    std::string capturePath;
    long expectedRecords = 314;
    int bootDelayMs = 30;
    int flashDelayMs = 4;
    // From the restart on a whole image until the new firmware takes commands.
    int startDelayMs = 0;
    Handshake handshake = Handshake::Normal;
    int handshakeLateMs = 0;
    // A meter whose reset does not take (its lead's DTR not wired, or the meter ignores it):
    // a pulse changes nothing, and it goes on answering on its firmware.
    bool resetIgnored = false;
    // A boot loader that answers "VERSION" too, with the version of the firmware it holds.
    bool bootLoaderAnswers = false;
    // Record numbers count from 0, as the host numbers them; -1 is "never".
    long stopAfterRecord = -1;
    long readsFailFromRecord = -1;
    long hangReadFromRecord = -1;
    long corruptRecord = -1;
    WriteFault writeFault;
    // Optional EEPROM overrides on top of the preset: strings, then numeric fields by name.
    std::optional<std::string> description;
    std::optional<std::string> serialNumber;
    std::vector<std::pair<std::string, long>> eepromFields;
    // Where the bridge sits on the USB bus, as D2XX's location id; unset: bridgeLocation's
    // default for its number. Kept across its cycles: it is the port, not the chip.
    std::optional<std::uint32_t> location;
    // > 0: the bridge leaves the bus for good when the Nth handle opened on it is closed
    // (pulled between a look at it and the next open).
    int unplugAfterOpens = 0;
    // A bench that changes over time, in ms from the rig's load (-1: never). The bridge is on
    // the bus from appearMs on and until leaveMs.
    long appearMs = -1;
    long leaveMs = -1;
    // Empty: one meter, always attached. Otherwise a new meter unit is attached during each
    // [from, until), in order and without overlaps, and the lead has none in between.
    std::vector<std::pair<long, long>> meterWindows;
    // K: the first transfer on this bridge stores record K and goes silent; later ones go
    // through.
    long stopOnceAfterRecord = -1;
    // Each window's unit reports version with " u<window>" appended, so a test can tell them
    // apart by their answers.
    bool versionPerUnit = false;
    // The windows (counted from 0) whose units come already running versionAfterUpgrade.
    std::vector<long> upgradedWindows;
    // FT_Open fails (as if another program held the bridge) during each [from, until), in ms
    // from the rig's load.
    std::vector<std::pair<long, long>> busyWindows;
};

struct Scenario {
    int declaredBridges = -1; // the bridges key; -1 if absent (bridges.size() is what counts)
    std::string stateFile;
    int latencyMs = 16;
    int reenumerateMs = 300;
    // False: the library answers FT_CreateDeviceInfoList and FT_GetDeviceInfoDetail with
    // FT_NOT_SUPPORTED, as an old driver does, so nothing tells where a bridge is plugged in.
    bool locationsKnown = true;
    // The truth log: what each physical meter unit did (unit_log.h); empty: none.
    std::string unitsLog;
    std::vector<BridgeScenario> bridges;
    std::vector<std::string> problems;
};

// A location id: the bus number in the top byte, then the port path from the root hub, one
// port (1-15) per nibble from bit 20 down, ending at the first zero nibble.
constexpr int kMaxPortDepth = 6;
// The bridge's location: its location key, or by default bus 1, port N + 1 of the root hub
// (bridges beyond 15 behind a hub on the root's ports).
std::uint32_t bridgeLocation(const BridgeScenario& config, int bridgeNumber);
// The bus number and port path of a location id; returns the path's length.
int locationPath(std::uint32_t location, std::uint8_t& bus, std::uint8_t (&ports)[kMaxPortDepth]);

// Parses scenario text. Relative paths are taken relative to baseFolder. Lines that cannot be
// understood are listed in problems and otherwise ignored.
Scenario parseScenario(const std::string& text, const std::string& baseFolder);

// The scenario named by the environment; the built-in one (one right bridge, meter version
// "PXR7 V1.02") when PXR7_SIM_SCENARIO is not set.
Scenario scenarioFromEnvironment();

} // namespace sim
