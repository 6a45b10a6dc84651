// What `pxr7 setup` does with the lead it chose: refuse (its EEPROM cannot be read), leave it
// (it already holds the meter's settings) or write the settings it lacks.
#pragma once

#include "bridge_survey.h"
#include "command_result.h"

namespace pxr7 {

enum class SetupStep { Refuse, AlreadyRight, Write };

struct SetupChoice {
    SetupStep step = SetupStep::Write;
    CommandResult result; // a refusal's
};

SetupChoice chooseSetupStep(const BridgeReport& lead);

} // namespace pxr7
