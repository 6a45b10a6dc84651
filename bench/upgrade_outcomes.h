// The one table that turns an upgrade's outcome into the command line's exit code. The
// message a person sees first is the Windows program's (outcome_messages.h, in texts/).
#pragma once

#include "upgrade_outcome.h"

namespace pxr7 {

int upgradeExitCode(const UpgradeOutcome& outcome);

} // namespace pxr7
