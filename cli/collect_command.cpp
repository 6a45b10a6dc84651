// pxr7 collect: every station's record into one PostgreSQL database until Ctrl+C or SIGTERM,
// or with --once what they hold now. The collector (store/) decides; this shows it.
#include "commands.h"
#include "exit_codes.h"
#include "json_writer.h"
#include "shared_options.h"
#include "terminal.h"

#if defined(PXR7_HAVE_DATABASE)
#include "collect_view.h"
#include "pg_connection.h"
#include "printable.h"
#include "request_access.h"
#include "stop_signals.h"
#endif

#include <CLI/CLI.hpp>

namespace pxr7 {

namespace {

struct CollectOptions {
    std::vector<std::string> stations; // the stations' dashboards, "http://HOST:PORT"
    std::string database;              // "postgresql://..."
    bool once = false;                 // take what the stations have now, then end
    PageAccessOptions access;          // the key sent to the stations, the CA file
};

void addCollectOptions(CLI::App& command, CollectOptions& options) {
    command.footer("It runs until Ctrl+C or SIGTERM; a station or the database that is away is "
                   "tried\nagain, and what it missed is collected when it is back.");
    addStationUrls(command, options.stations,
                   "a station's dashboard, http://HOST:PORT (once\nfor each bench)")
        ->required();
    addDatabaseOption(command, options.database,
                      "the database to fill: postgresql://[USER@]HOST\n[:PORT]/NAME (the "
                      "password from PGPASSFILE)")
        ->required();
    command.add_flag("--once", options.once, "collect what the stations hold now, then end");
    addPageAccessOptions(command, options.access, false);
}

#if defined(PXR7_HAVE_DATABASE)

Outcome outcomeOf(const CollectResult& result) {
    switch (result.outcome) {
    case CollectOutcome::Stopped:
    case CollectOutcome::AllRead:
        return Outcome::Ok;
    case CollectOutcome::StationsAway:
        return Outcome::FailureOther;
    case CollectOutcome::DatabaseAway:
    case CollectOutcome::DatabaseRefused:
        return Outcome::DatabaseFailed;
    }
    return Outcome::FailureOther;
}

void sayStart(bool json, const CollectOptions& options) {
    const std::string database = printable(urlWithoutPassword(options.database));
    if (json) {
        JsonObject()
            .add("event", "collect_started")
            .add("database", database)
            .add("stations", options.stations)
            .print();
        return;
    }
    terminal().line(LineKind::Info, "Collecting " + std::to_string(options.stations.size()) +
                                        (options.stations.size() == 1 ? " station" : " stations") +
                                        " into " + database +
                                        (options.once ? "." : ". Ctrl+C ends it."));
}

void sayEnd(bool json, const CollectResult& result, Outcome code) {
    const std::string reason = printable(result.reason);
    if (json) {
        JsonObject()
            .add("event", "result")
            .add("command", "collect")
            .add("exit_code", exitCodeOf(code))
            .add("error", code == Outcome::Ok ? nullptr : errorWordFor(code))
            .addTextOrNull("reason", code == Outcome::DatabaseFailed ? reason : "")
            .print();
    } else if (code == Outcome::DatabaseFailed) {
        terminal().line(LineKind::Error, "pxr7: the database cannot be used: " + reason);
    } else if (code == Outcome::FailureOther) {
        terminal().line(LineKind::Error, "pxr7: a station could not be read: run again later.");
    }
}

Outcome collect(bool json, const CollectOptions& options) {
    installStopSignals();
    sayStart(json, options);
    CollectView view(json);
    CollectSettings settings;
    settings.stations = options.stations;
    settings.database = options.database;
    settings.once = options.once;
    settings.caFile = options.access.caFile;
    std::string problem;
    if (!options.access.keyFile.empty() &&
        !readKeyFile(options.access.keyFile, settings.key, problem)) {
        terminal().line(LineKind::Error, "pxr7: " + printable(problem) + ".");
        return Outcome::Usage;
    }
    const CollectResult result = runCollector(settings, view, [] { return anyStopSignal(); });
    const Outcome code = outcomeOf(result);
    sayEnd(json, result, code);
    return code;
}

#else

Outcome collect(bool, const CollectOptions&) {
    return Outcome::DatabaseFailed; // the runner has said why
}

#endif

class CollectCommand final : public CliCommand {
public:
    const char* name() const override { return "collect"; }
    const char* description() const override {
        return "gather the stations' records into one database";
    }
    void addOptions(CLI::App& command) override { addCollectOptions(command, options_); }
    CommandNeeds needs() const override {
        CommandNeeds needs;
        needs.database = true;
        return needs;
    }
    Outcome run(const ProgramOptions& program, const Opening&) override {
        return collect(program.json, options_);
    }

private:
    CollectOptions options_;
};

} // namespace

std::unique_ptr<CliCommand> makeCollectCommand() {
    return std::make_unique<CollectCommand>();
}

} // namespace pxr7
