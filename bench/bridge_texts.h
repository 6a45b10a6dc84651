// A bridge's state as words: the stable code JSON carries and the text a person reads.
#pragma once

#include "bridge_survey.h"

#include <string>
#include <vector>

namespace pxr7 {

// How a bridge with the FT232R's factory strings is named: only the person knows which it is.
constexpr char kFactoryFreshText[] = "factory-fresh FT232R: a new meter lead or another adapter";

// "meter", "no_answer", "busy", "needs_setup", "not_a_meter_lead" or "unusable".
const char* stateCode(BridgeState state);
// The state in words, with the version, the reason or the changes.
std::string stateText(const BridgeReport& report);
// "Description old -> new, ..." for a lead's EEPROM changes.
std::string changesText(const std::vector<EepromChange>& changes);

} // namespace pxr7
