// pxr7 list: every bridge, who it is and what state it is in. Writes nothing to any EEPROM.
#include "bridge_choice.h"
#include "commands.h"
#include "exit_codes.h"
#include "json_writer.h"

#include <cstdio>

namespace pxr7 {

namespace {

void printJson(const std::vector<BridgeReport>& reports, int exitCode) {
    std::string bridges = "[";
    int meters = 0;
    for (const BridgeReport& report : reports) {
        bridges += (bridges.size() > 1 ? "," : "") + bridgeJson(report);
        meters += report.state == BridgeState::MeterAnswered ? 1 : 0;
    }
    JsonObject()
        .add("command", "list")
        .addRaw("bridges", bridges + "]")
        .add("meters", meters)
        .add("exit_code", exitCode)
        .add("error", exitCode == EXIT_OK ? nullptr : errorCodeFor(exitCode))
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
    const std::vector<BridgeReport> reports = surveyForCommand(options);
    const bool selecting = !options.serial.empty() || options.index >= 0;
    const int exitCode = selecting && reports.empty() ? EXIT_NOT_A_METER_LEAD : EXIT_OK;
    if (options.json) {
        printJson(reports, exitCode);
        return exitCode;
    }
    int meters = 0;
    for (const BridgeReport& report : reports) {
        meters += report.state == BridgeState::MeterAnswered ? 1 : 0;
    }
    if (!reports.empty()) {
        printBridgeTable(reports);
    }
    std::printf("Number of devices: %d\n", meters);
    if (exitCode != EXIT_OK) {
        std::fprintf(stderr, "pxr7: no bridge %s.\n",
                     options.serial.empty() ? ("at index " + std::to_string(options.index)).c_str()
                                            : ("with serial number " + options.serial).c_str());
    }
    return exitCode;
}

} // namespace pxr7
