#include "setup_flow.h"

#include "bridge_texts.h"
#include "confirm.h"
#include "json_writer.h"
#include "lead_setup_steps.h"
#include "messages.h"
#include "printable.h"
#include "terminal.h"

#include <cstdio>

namespace pxr7 {

void showChanges(bool json, const BridgeReport& lead, bool aboutToWrite) {
    if (json) {
        JsonObject()
            .add("event", "setup")
            .add("serial", lead.identity.serialNumber)
            .add("changes", changesJson(lead.changes))
            .print();
        return;
    }
    Terminal& out = terminal();
    const std::string bridge = printable(lead.identity.serialNumber) + " (bridge " +
                               std::to_string(lead.identity.index) + ")";
    // A factory-fresh bridge may be somebody's adapter: it is not called a lead.
    out.line(LineKind::Info,
             sameDescription(lead.identity.description, kFactoryBridgeDescription)
                 ? bridge + " is a " + kFactoryFreshText +
                       "; as the meter's lead it needs these EEPROM settings changed:"
                 : "The lead " + bridge + " needs these EEPROM settings changed:");
    for (const EepromChange& change : lead.changes) {
        char line[256];
        std::snprintf(line, sizeof line, "  %-12s %s -> %s", change.field.c_str(),
                      printable(change.before).c_str(), printable(change.after).c_str());
        out.line(LineKind::Info, line);
    }
    if (aboutToWrite) {
        out.line(LineKind::Info, "Writing them restarts the lead; it comes back by itself within "
                                 "a few seconds.");
    }
}

CommandResult runLeadSetup(const Asking& asking, const BridgeReport& lead, SetupConsent consent) {
    showChanges(asking.json, lead, true);
    const Answer answer = consent == SetupConsent::Given
                              ? Answer::Yes
                              : askToConfirm(asking, "Write the lead's settings now?");
    switch (answer) {
    case Answer::CannotAsk:
        return failure(Outcome::Usage, kCannotAskText);
    case Answer::No:
        terminal().line(LineKind::Error, "Setup cancelled.");
        return failure(Outcome::Cancelled, "");
    case Answer::Yes:
        break;
    }
    CommandResult result = setUpLeadNow(lead);
    if (result.ok()) {
        terminal().line(LineKind::Error, result.diagnosis); // stderr, beside the question
        result.diagnosis.clear();
    }
    return result;
}

} // namespace pxr7
