// The lead setup a person sees, shared by `pxr7 setup` and an upgrade that finds a lead
// needing it: the changes field by field, the question, then the writing and its result.
#pragma once

#include "bridge_survey.h"
#include "command_result.h"
#include "options.h"

namespace pxr7 {

// How a lead's EEPROM may be written: the person said so already (`setup --yes`, `--setup`),
// is asked (a terminal to answer on), or did not agree (nothing is written).
enum class SetupConsent { Given, Ask, None };

// An upgrade's consent: --setup gives it; without --yes a person at a terminal is asked.
// `upgrade --yes` alone agrees to the upgrade, never to rewriting a bridge's EEPROM: a
// factory-fresh meter lead and somebody's USB-serial adapter look the same.
SetupConsent upgradeSetupConsent(const Options& options);

// The changes a lead needs, field by field; aboutToWrite adds what writing them does.
void showChanges(const Options& options, const BridgeReport& lead, bool aboutToWrite);

// Ok once the lead holds its settings again; otherwise why not (cancelled, setup failed,
// reconnect the lead, usage when it cannot ask), with what to do.
CommandResult runLeadSetup(const Options& options, const BridgeReport& lead, SetupConsent consent);

} // namespace pxr7
