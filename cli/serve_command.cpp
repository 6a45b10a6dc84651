// pxr7 serve: the history of every bench from the database and a live overview of the stations
// named, read-only, until Ctrl+C or SIGTERM.
#include "commands.h"
#include "exit_codes.h"
#include "shared_options.h"
#include "terminal.h"

#include <CLI/CLI.hpp>

#if defined(PXR7_HAVE_DATABASE)
#include "bench_figures.h"
#include "dashboard_routes.h"
#include "database_history_api.h"
#include "http_server.h"
#include "json_writer.h"
#include "printable.h"
#include "served_dashboard.h"
#include "station_overview.h"
#include "stop_signals.h"

#endif

namespace pxr7 {

namespace {

struct ServeOptions {
    std::string database;              // "postgresql://..."
    std::vector<std::string> stations; // the stations of the live overview
    std::string listen;                // "[HOST:]PORT" of its pages; "" the default
    PageAccessOptions access;
};

void addServeCommandOptions(CLI::App& command, ServeOptions& options) {
    command.footer("It runs until Ctrl+C or SIGTERM.");
    addDatabaseOption(command, options.database, "the database the collector fills")->required();
    addStationUrls(command, options.stations,
                   "a station to show in the live overview,\nhttp://HOST:PORT (once for each)");
    addAddressOption(command, "--listen", options.listen,
                     "serve the pages on [HOST:]PORT (default\n127.0.0.1:8470)");
    addPageAccessOptions(command, options.access, true);
}

} // namespace

#if !defined(PXR7_HAVE_DATABASE)

namespace {

Outcome serve(const ServeOptions&) {
    return Outcome::DatabaseFailed; // the runner has said why
}

} // namespace

#else

namespace {

void sayServing(const std::string& url) {
    if (terminal().settings().json) {
        JsonObject().add("event", "serving").add("url", url).print();
    } else {
        terminal().line(LineKind::Info, "Serving: " + url + " (read-only)");
    }
}

Outcome serve(const ServeOptions& options) {
    const std::string listen = options.listen.empty() ? "127.0.0.1:8470" : options.listen;
    DatabaseHistoryApi history(options.database);
    std::string problem;
    if (!history.open(problem)) {
        terminal().line(LineKind::Error, "pxr7: the database " +
                                             printable(urlWithoutPassword(options.database)) +
                                             " cannot be used: " + printable(problem) + ".");
        return Outcome::DatabaseFailed;
    }
    if (!problem.empty()) {
        terminal().line(LineKind::Warning, "pxr7: the database " +
                                               printable(urlWithoutPassword(options.database)) +
                                               " cannot be used yet: " + printable(problem) +
                                               ". The history pages say so until it can.");
    }
    PageAccess access;
    if (!pageAccessOf(options.access, access)) {
        return Outcome::Usage;
    }
    OverviewSettings asking;
    asking.access = {access.key,
                     options.access.caFile}; // one key for the shop: the stations take it too
    StationOverview overview(options.stations, asking);
    BenchFiguresSettings figuresAsked;
    figuresAsked.ask = [&history](const std::string& from, std::vector<BenchSummary>& out,
                                  std::string& why) {
        return history.benchSummaries(from, out, why);
    };
    BenchFigures figures(overview, figuresAsked);
    DashboardRoutes routes(history, nullptr, &figures);
    routes.guardWith(access.hostNames, access.key);
    DashboardServer server(routes, nullptr);
    if (!tlsAsAsked(server, access)) {
        return Outcome::ServeFailed;
    }
    ServeAddress where;
    if (!parseServeAddress(listen, where, problem) || !server.start(where, problem)) {
        terminal().line(LineKind::Error, "pxr7: the pages cannot listen: " + problem + ".");
        return Outcome::ServeFailed;
    }
    sayServing(server.url());
    overview.start();
    figures.start();
    installStopSignals();
    waitForStopSignal();
    server.stop();
    figures.stop();
    overview.stop();
    return Outcome::Ok;
}

} // namespace

#endif

namespace {

class ServeCommand final : public CliCommand {
public:
    const char* name() const override { return "serve"; }
    const char* description() const override {
        return "serve the history of every bench and a live overview";
    }
    void addOptions(CLI::App& command) override { addServeCommandOptions(command, options_); }
    CommandNeeds needs() const override {
        CommandNeeds needs;
        needs.database = true;
        return needs;
    }
    Outcome run(const ProgramOptions&, const Opening&) override { return serve(options_); }

private:
    ServeOptions options_;
};

} // namespace

std::unique_ptr<CliCommand> makeServeCommand() {
    return std::make_unique<ServeCommand>();
}

} // namespace pxr7
