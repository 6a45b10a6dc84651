// pxr7 setup: shows a lead's EEPROM changes field by field, asks, programs them, waits for the
// lead to come back and confirms that they hold.
#include "commands.h"
#include "json_writer.h"
#include "messages.h"
#include "printable.h"
#include "setup_flow.h"
#include "target_choice.h"
#include "terminal.h"

namespace pxr7 {

namespace {

int finish(const Options& options, const BridgeReport* lead, const CommandResult& result,
           const char* what) {
    printFailure(result);
    if (options.json) {
        JsonObject()
            .add("event", "result")
            .add("command", "setup")
            .add("serial", lead != nullptr ? lead->identity.serialNumber.c_str() : nullptr)
            .add("outcome", what)
            .add("exit_code", result.exitCode)
            .add("error", result.ok() ? nullptr : result.errorWord())
            .print();
    }
    return result.exitCode;
}

} // namespace

int runSetupCommand(const Options& options) {
    if (!loadDriver(options)) {
        return finish(options, nullptr, CommandResult{EXIT_NO_DRIVER, ""}, "no_driver");
    }
    const std::vector<BridgeReport> reports = surveyFor(selectionOf(options));
    describeBridges(reports);
    const TargetChoice choice = chooseTarget(reports, selectionOf(options));
    if (choice.target == nullptr) {
        if (choice.result.exitCode == EXIT_AMBIGUOUS && !options.json) {
            printBridgeTable(reports);
        }
        return finish(options, nullptr, choice.result, choice.result.errorWord());
    }
    const BridgeReport& lead = *choice.target;
    if (lead.state == BridgeState::EepromUnreadable) {
        const CommandResult unreadable =
            failure(EXIT_LEAD_SETUP_FAILED, "pxr7: the lead's EEPROM could not be read, so its "
                                            "settings are unknown; nothing was written.");
        return finish(options, &lead, unreadable, unreadable.errorWord());
    }
    if (lead.state != BridgeState::NeedsSetup) {
        terminal().line(LineKind::Result, "The lead " + printable(lead.identity.serialNumber) +
                                              " already holds the settings the meter needs.");
        return finish(options, &lead, CommandResult{}, "already_right");
    }
    const CommandResult result =
        runLeadSetup(options, lead, options.assumeYes ? SetupConsent::Given : SetupConsent::Ask);
    return finish(options, &lead, result, result.ok() ? "done" : result.errorWord());
}

} // namespace pxr7
