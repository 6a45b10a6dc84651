// Setting up a meter lead's EEPROM on request: program the corrections into the very bridge
// that was shown, cycle it, wait for that same bridge to come back, and read its EEPROM again
// to confirm the settings hold.
#pragma once

#include "bridge_identity.h"
#include "eeprom_rules.h"
#include "same_bridge.h"

#include <chrono>
#include <string>
#include <vector>

namespace pxr7 {

enum class SetupResult {
    Done,             // programmed, back on the bus, and the settings hold
    AlreadyRight,     // nothing to change: nothing was written
    NotFound,         // the lead is no longer on the bus
    Busy,             // it could not be opened
    NotTheSame,       // another bridge sits where the lead was shown: nothing was written
    Unusable,         // its EEPROM is not a lead's: left alone
    EepromUnreadable, // its EEPROM could not be read: nothing was written
    CannotTellApart,  // other leads look just like it and nothing tells where each sits, so it
                      // could not be found again after its restart: nothing was written
    ProgramFailed,    // the library refused to write it; the bridge was not cycled
    CycleFailed,      // written, but the bridge did not restart to take it up: replug it
    DidNotReturn,     // cycled, but not back in time: replug it
    DidNotHold,       // back, but its EEPROM does not hold the settings
};

struct SetupReport {
    SetupResult result = SetupResult::NotFound;
    std::vector<EepromChange> changes; // what was (or was to be) written
    std::string reason;                // CycleFailed: the backend's own words, if it keeps any
};

// How long a cycled lead may take to come back before the user is asked to replug it.
constexpr std::chrono::milliseconds kLeadReturnWait{10000};

// Sets up the lead shown as lead (its index, and who it was then): opened by its index and
// checked to be that same bridge before anything is written.
SetupReport setUpLead(const BridgeIdentity& lead,
                      std::chrono::milliseconds returnWait = kLeadReturnWait);

// Waits until the lead is on the bus again (findSameBridge): Found, or what the last look
// found once wait has passed.
FindResult waitForSameLead(const BridgeIdentity& lead, std::chrono::milliseconds wait);

} // namespace pxr7
