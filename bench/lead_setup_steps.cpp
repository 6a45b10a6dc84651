#include "lead_setup_steps.h"

#include "lead_setup.h"
#include "same_bridge.h"
#include "target_choice.h"

namespace pxr7 {

CommandResult setupResultFor(const SetupReport& setup) {
    switch (setup.result) {
    case SetupResult::Done:
    case SetupResult::AlreadyRight:
        return CommandResult{Outcome::Ok, "pxr7: the lead's settings were written and hold."};
    case SetupResult::ProgramFailed:
        return failure(Outcome::LeadSetupFailed, "pxr7: the lead's settings could not be written "
                                                 "to its EEPROM; nothing was changed.");
    case SetupResult::DidNotReturn:
        return failure(Outcome::BridgeReprogrammed,
                       "pxr7: the lead was set up but did not come back in time: reconnect the "
                       "USB lead and run the command again.");
    case SetupResult::DidNotHold:
        return failure(Outcome::LeadSetupFailed,
                       "pxr7: the lead came back, but its EEPROM does not hold the new settings.");
    case SetupResult::NotFound:
        return failure(Outcome::PortError, "pxr7: the lead is no longer on the bus: reconnect it.");
    case SetupResult::Busy:
        return failure(Outcome::Busy, "pxr7: the lead could not be opened to set it up.");
    case SetupResult::Unusable:
        return failure(Outcome::NotAMeterLead,
                       "pxr7: the lead's EEPROM is not a meter lead's; it was left alone.");
    case SetupResult::NotTheSame:
        return failure(Outcome::PortError, "pxr7: another bridge took the lead's place on the bus; "
                                           "nothing was written. Run the command again.");
    case SetupResult::EepromUnreadable:
        return failure(Outcome::LeadSetupFailed,
                       "pxr7: the lead's EEPROM could not be read; nothing was written.");
    case SetupResult::CannotTellApart:
        return failure(Outcome::LeadSetupFailed,
                       "pxr7: other leads share this lead's serial number and the driver cannot "
                       "tell where each is plugged in; nothing was written. Connect the lead on "
                       "its own and run setup again.");
    case SetupResult::CycleFailed:
        return failure(Outcome::BridgeReprogrammed,
                       "pxr7: the lead's settings were written, but it did not restart to take "
                       "them up: " +
                           (setup.reason.empty() ? std::string("unplug it and plug it in again")
                                                 : setup.reason) +
                           ".");
    }
    return failure(Outcome::FailureOther, "");
}

CommandResult setUpLeadNow(const BridgeReport& lead) {
    return setupResultFor(setUpLead(lead.identity));
}

bool surveyLeadAgain(BridgeReport& lead) {
    // The bridge it was, not the first one that shows its serial number.
    const FindResult found = findSameBridge(lead.identity);
    if (found.outcome != FindOutcome::Found) {
        return false;
    }
    Selection selection;
    selection.index = found.index;
    const std::vector<BridgeReport> reports = surveyFor(selection);
    if (reports.empty() || !isLeadReport(reports.front())) {
        return false;
    }
    lead = reports.front();
    return true;
}

} // namespace pxr7
