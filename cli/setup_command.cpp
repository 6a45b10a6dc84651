// pxr7 setup: shows a lead's EEPROM changes field by field, asks, programs them, waits for the
// lead to come back and confirms that they hold.
#include "commands.h"
#include "json_writer.h"
#include "messages.h"
#include "printable.h"
#include "setup_choice.h"
#include "setup_flow.h"
#include "shared_options.h"
#include "target_choice.h"
#include "terminal.h"

#include <CLI/CLI.hpp>

namespace pxr7 {

namespace {

Outcome finish(bool json, const BridgeReport* lead, const CommandResult& result, const char* what) {
    printFailure(result);
    if (json) {
        JsonObject()
            .add("event", "result")
            .add("command", "setup")
            .add("serial", lead != nullptr ? lead->identity.serialNumber.c_str() : nullptr)
            .add("outcome", what)
            .add("exit_code", exitCodeOf(result.outcome))
            .add("error", result.ok() ? nullptr : result.errorWord())
            .print();
    }
    return result.outcome;
}

class SetupCommand final : public MeterCommand {
public:
    const char* name() const override { return "setup"; }
    const char* description() const override {
        return "check a meter lead's settings and correct them";
    }
    void addOptions(CLI::App& command) override {
        addMeterChoice(command, choice_);
        command.add_flag("-y,--yes", assumeYes_, "correct the settings without asking");
    }
    Outcome endWithoutDriver(const ProgramOptions& program) override {
        return finish(program.json, nullptr, CommandResult{Outcome::NoDriver, ""}, "no_driver");
    }
    Outcome run(const ProgramOptions& program, const Opening& opening) override;

private:
    bool assumeYes_ = false;
};

Outcome SetupCommand::run(const ProgramOptions& program, const Opening& opening) {
    const TargetChoice choice = chooseTarget(opening.reports, choice_.selection());
    if (choice.target == nullptr) {
        if (choice.result.outcome == Outcome::Ambiguous && !program.json) {
            printBridgeTable(opening.reports);
        }
        return finish(program.json, nullptr, choice.result, choice.result.errorWord());
    }
    const BridgeReport& lead = *choice.target;
    const SetupChoice step = chooseSetupStep(lead);
    switch (step.step) {
    case SetupStep::Refuse:
        return finish(program.json, &lead, step.result, step.result.errorWord());
    case SetupStep::AlreadyRight:
        terminal().line(LineKind::Result, "The lead " + printable(lead.identity.serialNumber) +
                                              " already holds the settings the meter needs.");
        return finish(program.json, &lead, CommandResult{}, "already_right");
    case SetupStep::Write:
        break;
    }
    const CommandResult result =
        runLeadSetup(Asking{assumeYes_, program.json}, lead, setupCommandConsent(assumeYes_));
    return finish(program.json, &lead, result, result.ok() ? "done" : result.errorWord());
}

} // namespace

std::unique_ptr<CliCommand> makeSetupCommand() {
    return std::make_unique<SetupCommand>();
}

} // namespace pxr7
