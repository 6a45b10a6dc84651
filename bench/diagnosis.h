// One line in plain words after a failure's catalogue text: what happened (which phase,
// which record, timeout or I/O error, the library's reason) and what to do next.
#pragma once

#include "bridge_survey.h"
#include "upgrade_outcome.h"

#include <string>

namespace pxr7 {

// Empty for a success or a cancel.
std::string diagnose(const UpgradeOutcome& outcome);

// The D2XX library could not be used: why, and where to get it.
std::string diagnoseMissingLibrary(const std::string& path, const std::string& problem);

// Why a bridge could not be opened, as far as its status tells.
std::string describeBusy(FT_STATUS status);

} // namespace pxr7
