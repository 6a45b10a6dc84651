// Setting up a meter lead's EEPROM once the person has agreed: the writing, the wait for the
// lead to come back, and what happened as a result with its words.
#pragma once

#include "bridge_survey.h"
#include "command_result.h"

namespace pxr7 {

struct SetupReport;

// What a setup's result means for the person: its exit code and its words. Settings written
// but not yet in force (the restart failed) ask for a reconnect, as a lead set up does.
CommandResult setupResultFor(const SetupReport& setup);

// Programs the lead's corrections, cycles it and confirms they hold. A success carries the
// sentence that says so; a failure its exit code and what to do.
CommandResult setUpLeadNow(const BridgeReport& lead);

// The lead again after its setup (its meter's version, and where it is now), found by its
// identity as the same physical bridge. False, with lead untouched, if it is not back as a meter
// lead.
bool surveyLeadAgain(BridgeReport& lead);

} // namespace pxr7
