// Setting up a meter lead's EEPROM on request: program the corrections, cycle the bridge,
// wait for it to come back under its serial number, and read the EEPROM again to confirm
// the settings hold.
#pragma once

#include "eeprom_rules.h"

#include <chrono>
#include <string>
#include <vector>

namespace pxr7 {

enum class SetupResult {
    Done,          // programmed, back on the bus, and the settings hold
    AlreadyRight,  // nothing to change: nothing was written
    NotFound,      // no meter lead with that serial number is present
    Busy,          // it could not be opened
    Unusable,      // its EEPROM is not a lead's: left alone
    ProgramFailed, // the library refused to write it; the bridge was not cycled
    DidNotReturn,  // cycled, but not back under its serial number in time: replug it
    DidNotHold,    // back, but its EEPROM does not hold the settings
};

struct SetupReport {
    SetupResult result = SetupResult::NotFound;
    std::vector<EepromChange> changes; // what was (or was to be) written
};

// How long a cycled lead may take to come back before the user is asked to replug it.
constexpr std::chrono::milliseconds kLeadReturnWait{10000};

SetupReport setUpLead(const std::string& serialNumber,
                      std::chrono::milliseconds returnWait = kLeadReturnWait);

// Waits until a meter lead with the serial number is on the bus again; returns its index, or
// -1 once wait has passed.
int waitForLead(const std::string& serialNumber, std::chrono::milliseconds wait);

} // namespace pxr7
