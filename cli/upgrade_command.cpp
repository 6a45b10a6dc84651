// pxr7 upgrade: chooses the meter lead (or every lead with --all), sets a lead up if it needs
// it, shows the meters' versions and the warning, asks, runs one lane per meter, then reports
// each meter's verified version.
#include "commands.h"
#include "confirm.h"
#include "dialog_texts.h"
#include "firmware_image.h"
#include "json_writer.h"
#include "lane_view.h"
#include "lead_setup_steps.h"
#include "messages.h"
#include "printable.h"
#include "record.h"
#include "run_report.h"
#include "setup_flow.h"
#include "shared_options.h"
#include "stop_signals.h"
#include "terminal.h"
#include "terminal_caps.h"
#include "unit_ids.h"
#include "upgrade_plan.h"

#include <CLI/CLI.hpp>

namespace pxr7 {

namespace {

struct UpgradeOptions {
    bool assumeYes = false, skipIfCurrent = false, noVerify = false;
    bool setup = false;     // consent to set up leads that need it
    std::string recordPath; // empty: the default record (record.h)
    std::string operatorName;
};

// What the upgrade was asked, from the program's options and its own.
struct Asked {
    const ProgramOptions& program;
    const UpgradeOptions& options;
    const MeterChoice& choice;

    bool json() const { return program.json; }
    bool all() const { return choice.all; }
};

void addUpgradeOptions(CLI::App& command, MeterChoice& choice, UpgradeOptions& options) {
    addMeterChoice(command, choice);
    command.add_flag("-y,--yes", options.assumeYes, "upgrade without asking for confirmation");
    CLI::Option* all = command.add_flag("--all", choice.all,
                                        "upgrade every connected meter at once, each\n"
                                        "at its own pace; not with --serial or --index");
    all->excludes(command.get_option("--serial"));
    all->excludes(command.get_option("--index"));
    command.add_flag("--skip-if-current", options.skipIfCurrent,
                     "leave a meter alone that already runs the\nfirmware's version");
    command.add_flag("--no-verify", options.noVerify,
                     "do not ask the meter for its version afterwards");
    command.add_flag("--setup", options.setup,
                     "set up a lead whose EEPROM needs it without asking;\n"
                     "--yes alone never writes an EEPROM");
    addRecordOption(command, options.recordPath,
                    "append each meter's outcome to FILE instead of\nthe default record");
    addOperatorOption(command, options.operatorName);
}

Outcome finish(const Asked& asked, const std::vector<MeterRun>& runs, Outcome outcome) {
    logRuns(asked.program.logPath, runs, outcome);
    if (asked.json()) {
        JsonObject result;
        result.add("event", "result").add("command", "upgrade");
        if (asked.all()) {
            std::vector<JsonObject> meters(runs.size());
            for (std::size_t i = 0; i < runs.size(); ++i) {
                addRunFields(meters[i], runs[i]);
            }
            result.add("exit_code", exitCodeOf(outcome))
                .add("error", outcome == Outcome::Ok ? nullptr : errorWordFor(outcome))
                .add("meters", meters);
        } else {
            MeterRun run = runs.empty() ? MeterRun() : runs.front();
            if (run.code() != outcome) { // a meter already current stays current
                run.endWith(outcome);
            }
            addRunFields(result, run);
        }
        result.print();
    } else if (asked.all() && !runs.empty()) {
        printSummary(runs);
    } else if (!runs.empty()) {
        printRunResult(runs.front());
    }
    return outcome;
}

Outcome refuse(const Asked& asked, const CommandResult& result) {
    printFailure(result);
    return finish(asked, {}, result.outcome);
}

// What the warning dialog shows before an upgrade: the meters' versions and the warning.
void showWarning(const Asked& asked, const std::vector<BridgeReport>& leads) {
    if (asked.json()) {
        for (const BridgeReport& lead : leads) {
            const bool answered = lead.state == BridgeState::MeterAnswered;
            JsonObject()
                .add("event", "meter")
                .add("present", answered)
                .add("serial", lead.identity.serialNumber)
                .add("index", lead.identity.index)
                .add("version", answered ? lead.version.c_str() : nullptr)
                .print();
        }
        return;
    }
    Terminal& out = terminal();
    out.line(LineKind::Info, asked.all() ? "Meters to upgrade:" : PXR7_CONNECTED_VERSION_LABEL);
    for (const BridgeReport& lead : leads) {
        const std::string version = lead.state == BridgeState::MeterAnswered
                                        ? printable(lead.version)
                                        : PXR7_NO_DEVICES_PRESENT;
        out.line(LineKind::Info, asked.all()
                                     ? "  " + printable(lead.identity.serialNumber) + " (bridge " +
                                           std::to_string(lead.identity.index) + "): " + version
                                     : "  " + version);
    }
    if (!asked.all()) {
        out.line(LineKind::Info,
                 std::string(PXR7_UPGRADABLE_VERSIONS_LABEL) + ":\n  " + PXR7_ANY_VERSION);
    }
    out.line(LineKind::Info,
             std::string("\n") + PXR7_WARNING_LABEL + "\n" + PXR7_WARNING_TEXT + "\n");
}

// The leads that need setup: set up where the person agreed (--setup, or yes to the question
// on a terminal) and looked at again; otherwise left as they are with the command to run.
void setUpLeads(const Asked& asked, UpgradePlan& plan, const UpgradeRequest& request) {
    const SetupConsent consent =
        upgradeSetupConsent(asked.options.setup, asked.options.assumeYes, stdinIsTerminal());
    for (const BridgeReport& lead : plan.setUp) {
        if (consent == SetupConsent::None) {
            showChanges(asked.json(), lead, false);
            plan.settled.push_back(needsSetupRun(lead));
            continue;
        }
        const CommandResult setup =
            runLeadSetup(Asking{asked.options.assumeYes, asked.json()}, lead, consent);
        replanAfterSetup(plan, lead, setup, request);
    }
    plan.setUp.clear();
}

void sayAlreadyCurrent(const UpgradePlan& plan) {
    for (const MeterRun& run : plan.settled) {
        if (run.code() == Outcome::Ok) {
            terminal().line(LineKind::Info, "The meter " + printable(run.serial) +
                                                " already runs " + printable(run.versionAfter) +
                                                ": nothing to do.");
        }
    }
}

// The record this upgrade appends to, and the ledger that writes each meter's line in it.
struct UpgradeRecord {
    explicit UpgradeRecord(const UpgradeOptions& options)
        : path(recordPathFor(options.recordPath)), who(withoutBlanks(options.operatorName)),
          ledger(path, "upgrade") {
        ledger.setOperator(&who);
    }

    const std::string path;
    const OperatorName who;
    UnitLedger ledger;
};

Outcome upgradeMeters(const Asked& asked, const UpgradePlan& plan) {
    showWarning(asked, plan.upgrade);
    if (embeddedImageIsStandIn()) {
        terminal().line(LineKind::Warning, kStandInImageNotice);
    }
    const Asking asking{asked.options.assumeYes, asked.json()};
    switch (askToConfirm(asking, asked.all() ? "Upgrade all of them now?" : "Upgrade now?")) {
    case Answer::CannotAsk:
        return refuse(asked, failure(Outcome::Usage, kCannotAskText));
    case Answer::No:
        terminal().line(LineKind::Error, "Upgrade cancelled.");
        return finish(asked, {}, Outcome::Cancelled);
    case Answer::Yes:
        break;
    }
    // Before DTR is first asserted: from here a stop lets every meter go and closes its port.
    installStopSignals();
    RunSettings settings;
    settings.verify = !asked.options.noVerify;
    settings.declaredVersion = embeddedImageVersion();
    LaneView view(plan.upgrade, asked.all());
    UpgradeRecord record(asked.options);
    std::vector<MeterRun> runs = runLanes(plan.upgrade, settings, view, stopCheck(), record.ledger);
    view.finish();
    if (record.ledger.failing()) {
        warnRecordProblem(record.path, record.ledger.lastProblem());
    }
    recordCurrent(record.ledger, record.path, plan.settled);
    if (isStopSignal(combinedOutcome(runs))) {
        terminal().line(LineKind::Error, "Upgrade interrupted.");
    }
    runs.insert(runs.end(), plan.settled.begin(), plan.settled.end());
    return finish(asked, runs, combinedOutcome(runs));
}

// Nothing to send: the meters already current are recorded as they are.
Outcome endWithNothingSent(const Asked& asked, const UpgradePlan& plan) {
    sayAlreadyCurrent(plan);
    UpgradeRecord record(asked.options);
    recordCurrent(record.ledger, record.path, plan.settled);
    return finish(asked, plan.settled, combinedOutcome(plan.settled));
}

// Chooses the meter lead (or every lead with --all), sets up a lead that needs it, asks, and
// runs one lane per meter.
class UpgradeCommand final : public MeterCommand {
public:
    const char* name() const override { return "upgrade"; }
    const char* description() const override {
        return "upgrade a meter with the firmware this program carries";
    }
    void addOptions(CLI::App& command) override { addUpgradeOptions(command, choice_, options_); }
    CommandNeeds needs() const override {
        CommandNeeds needs = MeterCommand::needs();
        needs.locate = needs.logsItself = true;
        return needs;
    }
    std::optional<Outcome> refuseEarly(const ProgramOptions& program) override {
        if (program.json && !options_.assumeYes && !stdinIsTerminal()) {
            return refuse(Asked{program, options_, choice_},
                          failure(Outcome::Usage, kCannotAskText));
        }
        return std::nullopt;
    }
    Outcome endWithoutDriver(const ProgramOptions& program) override {
        return finish(Asked{program, options_, choice_}, {}, Outcome::NoDriver);
    }
    Outcome run(const ProgramOptions& program, const Opening& opening) override;

private:
    UpgradeOptions options_;
};

Outcome UpgradeCommand::run(const ProgramOptions& program, const Opening& opening) {
    const Asked asked{program, options_, choice_};
    const UpgradeRequest request{choice_.selection(), options_.skipIfCurrent,
                                 embeddedImageVersion()};
    UpgradePlan plan = planUpgrade(opening.reports, request);
    if (plan.refusal.outcome == Outcome::Ambiguous && !program.json) {
        printBridgeTable(opening.reports);
    }
    if (!plan.refusal.ok()) {
        return refuse(asked, plan.refusal);
    }
    setUpLeads(asked, plan, request);
    return plan.upgrade.empty() ? endWithNothingSent(asked, plan) : upgradeMeters(asked, plan);
}

} // namespace

std::unique_ptr<CliCommand> makeUpgradeCommand() {
    return std::make_unique<UpgradeCommand>();
}

} // namespace pxr7
