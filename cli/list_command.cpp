// pxr7 list: every bridge, who it is and what state it is in. Writes nothing to any EEPROM.
#include "commands.h"
#include "diagnosis.h"
#include "json_writer.h"
#include "messages.h"
#include "target_choice.h"
#include "terminal.h"

namespace pxr7 {

namespace {

int answeringMeters(const std::vector<BridgeReport>& reports) {
    int meters = 0;
    for (const BridgeReport& report : reports) {
        meters += report.state == BridgeState::MeterAnswered ? 1 : 0;
    }
    return meters;
}

void printJson(const std::vector<BridgeReport>& reports, int exitCode) {
    std::vector<JsonObject> bridges;
    for (const BridgeReport& report : reports) {
        bridges.push_back(bridgeJson(report));
    }
    JsonObject()
        .add("command", "list")
        .add("bridges", bridges)
        .add("meters", answeringMeters(reports))
        .add("exit_code", exitCode)
        .add("error", exitCode == EXIT_OK ? nullptr : errorWordFor(exitCode))
        .print();
}

} // namespace

int runListCommand(const Options& options) {
    if (!loadDriver(options)) {
        if (options.json) {
            printJson({}, EXIT_NO_DRIVER);
        }
        return EXIT_NO_DRIVER;
    }
    const Selection selection = selectionOf(options);
    const std::vector<BridgeReport> reports = surveyFor(selection);
    describeBridges(reports);
    const CommandResult result = listOutcome(reports, selection);
    if (options.json) {
        printJson(reports, result.exitCode);
        return result.exitCode;
    }
    if (!reports.empty()) {
        printBridgeTable(reports);
    } else if (!selection.selects()) {
        terminal().line(LineKind::Result, "No FTDI bridges found.");
        terminal().line(LineKind::Info, noBridgesHint());
        return result.exitCode;
    }
    terminal().line(LineKind::Result,
                    "Meters that answered: " + std::to_string(answeringMeters(reports)) + " of " +
                        std::to_string(reports.size()) + " bridges");
    printFailure(result);
    return result.exitCode;
}

} // namespace pxr7
