// The lead setup a person sees, shared by `pxr7 setup` and an upgrade that finds a lead
// needing it: the changes field by field, the question, the writing, the wait for the lead to
// come back, and what happened in plain words.
#pragma once

#include "bridge_survey.h"
#include "options.h"

namespace pxr7 {

// Returns EXIT_OK once the lead holds its settings again, else the exit code that says why
// (cancelled, setup failed, reconnect the lead, usage when it cannot ask).
int runLeadSetup(const Options& options, const BridgeReport& lead);

} // namespace pxr7
