// A command of the command line as an object: its name, its own options registered on its own
// CLI11 subcommand, what it needs opened before it runs, and the run itself. The runner
// (command_runner.h) does the opening steps once, by the needs each command declares.
#pragma once

#include "bridge_survey.h"
#include "exit_codes.h"
#include "target_choice.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace pxr7 {

// The options of the program itself, taken before or after any command.
struct ProgramOptions {
    std::string driverPath; // empty: the platform's default
    std::string backend;    // "", "d2xx" or "libftdi"
    bool json = false, verbose = false, quiet = false, trace = false;
    std::string logPath; // empty: no log
};

// What the runner opens before a command runs.
struct CommandNeeds {
    bool driver = false;   // the bridges' library, loaded (and traced with --trace)
    bool survey = false;   // every bridge the command's selection chooses, looked at and described
    bool locate = false;   // the survey also says where each lead is plugged in
    bool database = false; // a build with PostgreSQL's client library
    bool logsItself = false; // the command writes its own --log lines (with each meter's)
};

// What the opening steps found, handed to the run.
struct Opening {
    std::vector<BridgeReport> reports; // the survey's, when the command needs one
};

class CliCommand {
public:
    virtual ~CliCommand() = default;
    virtual const char* name() const = 0;
    virtual const char* description() const = 0;
    // Registers the command's own options on its subcommand; the values land in the command.
    virtual void addOptions(CLI::App& command) = 0;
    // Asked after parsing: the needs may follow the options given.
    virtual CommandNeeds needs() const { return {}; }
    // The bridges the survey looks at.
    virtual Selection selection() const { return {}; }
    // A refusal before anything is opened: its outcome, or none to go on.
    virtual std::optional<Outcome> refuseEarly(const ProgramOptions&) { return std::nullopt; }
    // The end when the driver does not load (the missing-driver lines are already said).
    virtual Outcome endWithoutDriver(const ProgramOptions& program);
    virtual Outcome run(const ProgramOptions& program, const Opening& opening) = 0;
};

// Every command, in the order the help lists them.
std::vector<std::unique_ptr<CliCommand>> allCommands();

} // namespace pxr7
