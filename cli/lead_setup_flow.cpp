#include "lead_setup_flow.h"

#include "commands.h"
#include "confirm.h"
#include "exit_codes.h"
#include "json_writer.h"
#include "lead_setup.h"
#include "text_output.h"

#include <cstdio>

namespace pxr7 {

namespace {

void showChanges(const Options& options, const BridgeReport& lead) {
    if (options.json) {
        JsonObject event;
        event.add("event", "setup").add("serial", lead.identity.serialNumber);
        std::string changes = "[";
        for (const EepromChange& change : lead.changes) {
            JsonObject item;
            item.add("field", change.field).add("before", change.before).add("after", change.after);
            changes += (changes.size() > 1 ? "," : "") + item.nested();
        }
        event.addRaw("changes", changes + "]").print();
        return;
    }
    std::printf("The lead %s (bridge %d) needs these EEPROM settings changed:\n",
                printable(lead.identity.serialNumber).c_str(), lead.identity.index);
    for (const EepromChange& change : lead.changes) {
        std::printf("  %-12s %s -> %s\n", change.field.c_str(), printable(change.before).c_str(),
                    printable(change.after).c_str());
    }
    std::printf("Writing them restarts the lead; it comes back by itself within a few "
                "seconds.\n");
    std::fflush(stdout);
}

int reportSetup(const SetupReport& setup) {
    switch (setup.result) {
    case SetupResult::Done:
    case SetupResult::AlreadyRight:
        std::fprintf(stderr, "pxr7: the lead's settings were written and hold.\n");
        return EXIT_OK;
    case SetupResult::ProgramFailed:
        printDiagnosis("pxr7: the lead's settings could not be written to its EEPROM; nothing "
                       "was changed.");
        return EXIT_LEAD_SETUP_FAILED;
    case SetupResult::DidNotReturn:
        printDiagnosis("pxr7: the lead was set up but did not come back in time: reconnect "
                       "the USB lead and run the command again.");
        return EXIT_BRIDGE_REPROGRAMMED;
    case SetupResult::DidNotHold:
        printDiagnosis("pxr7: the lead came back, but its EEPROM does not hold the new "
                       "settings.");
        return EXIT_LEAD_SETUP_FAILED;
    case SetupResult::NotFound:
        printDiagnosis("pxr7: the lead is no longer on the bus: reconnect it.");
        return EXIT_PORT_ERROR;
    case SetupResult::Busy:
        printDiagnosis("pxr7: the lead could not be opened to set it up.");
        return EXIT_BUSY;
    case SetupResult::Unusable:
        printDiagnosis("pxr7: the lead's EEPROM is not a meter lead's; it was left alone.");
        return EXIT_NOT_A_METER_LEAD;
    case SetupResult::NotTheSame:
        printDiagnosis("pxr7: another bridge took the lead's place on the bus; nothing was "
                       "written. Run the command again.");
        return EXIT_PORT_ERROR;
    case SetupResult::EepromUnreadable:
        printDiagnosis("pxr7: the lead's EEPROM could not be read; nothing was written.");
        return EXIT_LEAD_SETUP_FAILED;
    case SetupResult::CannotTellApart:
        printDiagnosis("pxr7: other leads share this lead's serial number and the driver cannot "
                       "tell where each is plugged in; nothing was written. Connect the lead on "
                       "its own and run setup again.");
        return EXIT_LEAD_SETUP_FAILED;
    case SetupResult::CycleFailed:
        printDiagnosis(
            "pxr7: the lead's settings were written, but it did not restart to take "
            "them up: " +
            (setup.reason.empty() ? std::string("unplug it and plug it in again") : setup.reason) +
            ".");
        return EXIT_LEAD_SETUP_FAILED;
    }
    return EXIT_FAILURE_OTHER;
}

} // namespace

int runLeadSetup(const Options& options, const BridgeReport& lead) {
    showChanges(options, lead);
    switch (askToConfirm(options, "Write the lead's settings now?")) {
    case Answer::CannotAsk:
        printDiagnosis("pxr7: --json without --yes needs a terminal to ask on");
        std::fprintf(stderr, "Try 'pxr7 --help'.\n");
        return EXIT_USAGE;
    case Answer::No:
        std::fprintf(stderr, "Setup cancelled.\n");
        return EXIT_CANCELLED;
    case Answer::Yes:
        break;
    }
    return reportSetup(setUpLead(lead.identity));
}

} // namespace pxr7
