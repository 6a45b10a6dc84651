// A look at every bridge on the bus that writes nothing to any EEPROM: who each bridge is,
// whether it is a meter lead, whether its settings are right (and what would change), and
// which version its meter reports. Somebody else's bridge is only opened to read who it is, and
// a factory-fresh one (a new lead, or somebody's adapter) only to read its EEPROM too: nothing
// is set on it, so the kernel's serial driver keeps it.
#pragma once

#include "bridge_identity.h"
#include "device_port.h"
#include "eeprom_rules.h"
#include "version_query.h"

#include <string>
#include <vector>

namespace pxr7 {

enum class BridgeState {
    MeterAnswered,    // a meter lead whose meter reported its version
    NoAnswer,         // a meter lead whose meter said nothing (a meter in its boot loader, say)
    Busy,             // could not be opened (another program or the kernel's driver holds it, or
                      // no permission on its device node)
    Gone,             // left the bus while it was looked at (the driver no longer finds it, or
                      // another bridge took its index): nothing was sent to it
    NeedsSetup,       // a meter lead whose EEPROM settings need correcting first
    EepromUnreadable, // a meter lead whose EEPROM could not be read: its settings are
                      // unknown (version holds what its meter said, if it answered)
    NotAMeterLead,    // somebody else's bridge, left alone
    Unusable,         // claims to be a meter lead, but its EEPROM is not a lead's (another
                      // VID/PID, or strings the library left unterminated): left alone
};

struct BridgeReport {
    BridgeIdentity identity; // index always set; the rest once the bridge could be asked
    // NoAnswer: bytes came back, but no version (a NAK, a reply too short or garbled).
    bool replyNotAVersion = false;
    BridgeState state = BridgeState::NotAMeterLead;
    FT_STATUS status = FT_OK;          // Busy, Gone: what the open answered
    std::string version;               // MeterAnswered (and EepromUnreadable, if it answered)
    std::vector<EepromChange> changes; // NeedsSetup
    DevicePort::EepromCheck eepromCheck = DevicePort::EepromCheck::NotRead;
};

struct SurveyOptions {
    int onlyIndex = -1;     // >= 0: look closely only at this device index
    std::string onlySerial; // non-empty: look closely only at this serial number
    ReplyReading reading = ReplyReading::ExactFrame;
    // Called on each meter lead's open port before its meter is asked (a shorter latency
    // timer, say); may be null.
    void (*prepareQuery)(DevicePort& port) = nullptr;
};

// Every bridge present, in index order; with a selection, only the selected ones. A meter
// lead whose serial number another lead shares, or that has none, is marked serialShared and
// given its location where the library can tell it. Each lead is re-checked on its opened
// handle before anything is sent to it.
std::vector<BridgeReport> surveyBridges(const SurveyOptions& options);

// Whether a report is a meter lead (whatever its meter said).
bool isLeadReport(const BridgeReport& report);

} // namespace pxr7
