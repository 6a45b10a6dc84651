#include "lead_setup_steps.h"

#include "lead_setup.h"
#include "target_choice.h"

namespace pxr7 {

namespace {

CommandResult resultOf(const SetupReport& setup) {
    switch (setup.result) {
    case SetupResult::Done:
    case SetupResult::AlreadyRight:
        return CommandResult{EXIT_OK, "pxr7: the lead's settings were written and hold."};
    case SetupResult::ProgramFailed:
        return failure(EXIT_LEAD_SETUP_FAILED, "pxr7: the lead's settings could not be written "
                                               "to its EEPROM; nothing was changed.");
    case SetupResult::DidNotReturn:
        return failure(EXIT_BRIDGE_REPROGRAMMED,
                       "pxr7: the lead was set up but did not come back in time: reconnect the "
                       "USB lead and run the command again.");
    case SetupResult::DidNotHold:
        return failure(EXIT_LEAD_SETUP_FAILED,
                       "pxr7: the lead came back, but its EEPROM does not hold the new settings.");
    case SetupResult::NotFound:
        return failure(EXIT_PORT_ERROR, "pxr7: the lead is no longer on the bus: reconnect it.");
    case SetupResult::Busy:
        return failure(EXIT_BUSY, "pxr7: the lead could not be opened to set it up.");
    case SetupResult::Unusable:
        return failure(EXIT_NOT_A_METER_LEAD,
                       "pxr7: the lead's EEPROM is not a meter lead's; it was left alone.");
    }
    return failure(EXIT_FAILURE_OTHER, "");
}

} // namespace

CommandResult setUpLeadNow(const BridgeReport& lead) {
    return resultOf(setUpLead(lead.identity.serialNumber));
}

bool surveyLeadAgain(BridgeReport& lead) {
    Selection selection;
    selection.serial = lead.identity.serialNumber;
    const std::vector<BridgeReport> reports = surveyFor(selection);
    if (reports.empty() || !isLeadReport(reports.front())) {
        return false;
    }
    lead = reports.front();
    return true;
}

} // namespace pxr7
