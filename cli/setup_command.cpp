// pxr7 setup: shows a lead's EEPROM changes field by field, asks, programs them, waits for the
// lead to come back and confirms that they hold.
#include "bridge_choice.h"
#include "commands.h"
#include "confirm.h"
#include "exit_codes.h"
#include "json_writer.h"
#include "lead_setup.h"
#include "lead_setup_flow.h"
#include "text_output.h"

#include <cstdio>

namespace pxr7 {

namespace {

int finish(const Options& options, const BridgeReport* lead, int exitCode, const char* what) {
    if (options.json) {
        JsonObject()
            .add("event", "result")
            .add("command", "setup")
            .add("serial", lead != nullptr ? lead->identity.serialNumber.c_str() : nullptr)
            .add("outcome", what)
            .add("exit_code", exitCode)
            .add("error", exitCode == EXIT_OK ? nullptr : errorCodeFor(exitCode))
            .print();
    }
    return exitCode;
}

} // namespace

int runSetupCommand(const Options& options) {
    if (!loadDriver(options)) {
        return finish(options, nullptr, EXIT_NO_DRIVER, "no_driver");
    }
    const std::vector<BridgeReport> reports = surveyForCommand(options);
    const TargetChoice choice = chooseTarget(reports, options);
    if (choice.target == nullptr) {
        if (choice.exitCode == EXIT_AMBIGUOUS && !options.json) {
            printBridgeTable(reports);
        }
        printDiagnosis(choice.problem);
        return finish(options, nullptr, choice.exitCode, errorCodeFor(choice.exitCode));
    }
    const BridgeReport& lead = *choice.target;
    if (lead.state == BridgeState::EepromUnreadable) {
        printDiagnosis("pxr7: the lead's EEPROM could not be read, so its settings are "
                       "unknown; nothing was written.");
        return finish(options, &lead, EXIT_LEAD_SETUP_FAILED, errorCodeFor(EXIT_LEAD_SETUP_FAILED));
    }
    if (lead.state != BridgeState::NeedsSetup) {
        if (!options.json) {
            std::printf("The lead %s already holds the settings the meter needs.\n",
                        printable(lead.identity.serialNumber).c_str());
        }
        return finish(options, &lead, EXIT_OK, "already_right");
    }
    const int exitCode = runLeadSetup(options, lead);
    return finish(options, &lead, exitCode, exitCode == EXIT_OK ? "done" : errorCodeFor(exitCode));
}

} // namespace pxr7
