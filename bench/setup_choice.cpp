#include "setup_choice.h"

namespace pxr7 {

SetupChoice chooseSetupStep(const BridgeReport& lead) {
    if (lead.state == BridgeState::EepromUnreadable) {
        return SetupChoice{SetupStep::Refuse,
                           failure(Outcome::LeadSetupFailed,
                                   "pxr7: the lead's EEPROM could not be read, so its settings "
                                   "are unknown; nothing was written.")};
    }
    return SetupChoice{lead.state == BridgeState::NeedsSetup ? SetupStep::Write
                                                             : SetupStep::AlreadyRight,
                       CommandResult{}};
}

} // namespace pxr7
