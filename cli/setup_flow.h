// The lead setup a person sees, shared by `pxr7 setup` and an upgrade that finds a lead
// needing it: the changes field by field, the question, then the writing and its result.
#pragma once

#include "bridge_survey.h"
#include "command_result.h"
#include "confirm.h"
#include "setup_consent.h"

namespace pxr7 {

// The changes a lead needs, field by field; aboutToWrite adds what writing them does.
void showChanges(bool json, const BridgeReport& lead, bool aboutToWrite);

// Ok once the lead holds its settings again; otherwise why not (cancelled, setup failed,
// reconnect the lead, usage when it cannot ask), with what to do.
CommandResult runLeadSetup(const Asking& asking, const BridgeReport& lead, SetupConsent consent);

} // namespace pxr7
