// The one table that turns an upgrade's outcome into the bench's Outcome (exit_codes.h). The
// message a person sees first is the Windows program's (outcome_messages.h, in texts/).
#pragma once

#include "exit_codes.h"
#include "upgrade_outcome.h"

namespace pxr7 {

Outcome outcomeOfUpgrade(const UpgradeOutcome& outcome);

} // namespace pxr7
