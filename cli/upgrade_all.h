// pxr7 upgrade --all: every meter lead at once, one thread and one port per bridge, each at
// its own 10 ms pace; one progress line per meter, a summary table, and exit 0 only if every
// meter succeeded.
#pragma once

#include "bridge_survey.h"
#include "options.h"

#include <vector>

namespace pxr7 {

int runUpgradeAll(const Options& options, const std::vector<BridgeReport>& reports);

} // namespace pxr7
