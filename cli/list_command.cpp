// pxr7 list: every bridge, who it is and what state it is in. Writes nothing to any EEPROM.
#include "commands.h"
#include "diagnosis.h"
#include "json_writer.h"
#include "messages.h"
#include "shared_options.h"
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

void printJson(const std::vector<BridgeReport>& reports, Outcome outcome) {
    std::vector<JsonObject> bridges;
    for (const BridgeReport& report : reports) {
        bridges.push_back(bridgeJson(report));
    }
    JsonObject()
        .add("command", "list")
        .add("bridges", bridges)
        .add("meters", answeringMeters(reports))
        .add("exit_code", exitCodeOf(outcome))
        .add("error", outcome == Outcome::Ok ? nullptr : errorWordFor(outcome))
        .print();
}

// Looks at the bridges the meter choice selects and says who each is.
class ListCommand final : public MeterCommand {
public:
    const char* name() const override { return "list"; }
    const char* description() const override {
        return "ask every connected meter for its software version";
    }
    void addOptions(CLI::App& command) override { addMeterChoice(command, choice_); }
    Outcome endWithoutDriver(const ProgramOptions& program) override {
        if (program.json) {
            printJson({}, Outcome::NoDriver);
        }
        return Outcome::NoDriver;
    }
    Outcome run(const ProgramOptions& program, const Opening& opening) override;
};

Outcome ListCommand::run(const ProgramOptions& program, const Opening& opening) {
    const std::vector<BridgeReport>& reports = opening.reports;
    const Selection selection = choice_.selection();
    const CommandResult result = listOutcome(reports, selection);
    if (program.json) {
        printJson(reports, result.outcome);
        return result.outcome;
    }
    if (!reports.empty()) {
        printBridgeTable(reports);
    } else if (!selection.selects()) {
        terminal().line(LineKind::Result, "No FTDI bridges found.");
        terminal().line(LineKind::Info, noBridgesHint());
        return result.outcome;
    }
    terminal().line(LineKind::Result,
                    "Meters that answered: " + std::to_string(answeringMeters(reports)) + " of " +
                        std::to_string(reports.size()) + " bridges");
    printFailure(result);
    return result.outcome;
}

} // namespace

std::unique_ptr<CliCommand> makeListCommand() {
    return std::make_unique<ListCommand>();
}

} // namespace pxr7
