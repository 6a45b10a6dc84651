// One line in plain words after a failure's catalogue text: what happened (which phase,
// which record, timeout or I/O error, the library's reason) and what to do next.
#pragma once

#include "backend.h"
#include "bridge_survey.h"
#include "upgrade_outcome.h"

#include <string>

namespace pxr7 {

// Empty for a success or a cancel.
std::string diagnose(const UpgradeOutcome& outcome);

// The chosen backend could not be used: which library (for D2XX the path, or this platform's
// library name), the loader's reason, and what to install or do instead.
std::string diagnoseMissingLibrary(const BackendChoice& choice, const std::string& problem);

// What to check when the driver finds no FTDI bridge at all: the plugs, whether the system
// sees the bridge, and the backend that looked.
std::string noBridgesHint();

// Why a bridge could not be opened and what to do: the backend's own words where it keeps
// them, else ftdi_sio's hold on FT232R bridges where sysfs shows one, else the likely causes.
// The open's status is for the call trace, never these words.
std::string describeBusy(const BridgeReport& report);
// The same from its parts: the backend's own words for the failure ("" none), and whether the
// driver lists the bridge as open (some process holds it).
std::string openFailureWords(const std::string& ownWords, bool shownOpen);

} // namespace pxr7
