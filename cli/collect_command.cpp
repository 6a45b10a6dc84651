// pxr7 collect: every station's record into one PostgreSQL database until Ctrl+C or SIGTERM,
// or with --once what they hold now. The collector (store/) decides; this shows it.
#include "commands.h"
#include "exit_codes.h"
#include "json_writer.h"
#include "options.h"
#include "terminal.h"

#if defined(PXR7_HAVE_DATABASE)
#include "collect_view.h"
#include "pg_connection.h"
#include "printable.h"
#include "request_access.h"
#include "stop_signals.h"
#endif

#include <cstdio>

namespace pxr7 {

#if defined(PXR7_HAVE_DATABASE)

namespace {

int exitCodeFor(const CollectResult& result) {
    switch (result.outcome) {
    case CollectOutcome::Stopped:
    case CollectOutcome::AllRead:
        return EXIT_OK;
    case CollectOutcome::StationsAway:
        return EXIT_FAILURE_OTHER;
    case CollectOutcome::DatabaseAway:
    case CollectOutcome::DatabaseRefused:
        return EXIT_DATABASE_FAILED;
    }
    return EXIT_FAILURE_OTHER;
}

void sayStart(const Options& options) {
    const std::string database = printable(urlWithoutPassword(options.database));
    if (options.json) {
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

void sayEnd(const Options& options, const CollectResult& result, int code) {
    const std::string reason = printable(result.reason);
    if (options.json) {
        JsonObject()
            .add("event", "result")
            .add("command", "collect")
            .add("exit_code", code)
            .add("error", code == EXIT_OK ? nullptr : errorWordFor(code))
            .addTextOrNull("reason", code == EXIT_DATABASE_FAILED ? reason : "")
            .print();
    } else if (code == EXIT_DATABASE_FAILED) {
        terminal().line(LineKind::Error, "pxr7: the database cannot be used: " + reason);
    } else if (code == EXIT_FAILURE_OTHER) {
        terminal().line(LineKind::Error, "pxr7: a station could not be read: run again later.");
    }
}

} // namespace

int runCollectCommand(const Options& options) {
    installStopSignals();
    sayStart(options);
    CollectView view(options.json);
    CollectSettings settings;
    settings.stations = options.stations;
    settings.database = options.database;
    settings.once = options.once;
    settings.caFile = options.caFile;
    std::string problem;
    if (!options.keyFile.empty() && !readKeyFile(options.keyFile, settings.key, problem)) {
        terminal().line(LineKind::Error, "pxr7: " + printable(problem) + ".");
        return EXIT_USAGE;
    }
    const CollectResult result = runCollector(settings, view, [] { return anyStopSignal(); });
    const int code = exitCodeFor(result);
    sayEnd(options, result, code);
    return code;
}

#else

int runCollectCommand(const Options&) {
    std::fputs("pxr7: this build has no PostgreSQL client: run it on Linux\n", stderr);
    return EXIT_DATABASE_FAILED;
}

#endif

} // namespace pxr7
