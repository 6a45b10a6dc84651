// pxr7 serve: the history of every bench from the database and a live overview of the stations
// named, read-only, until Ctrl+C or SIGTERM.
#include "commands.h"
#include "exit_codes.h"
#include "terminal.h"

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

#if !defined(PXR7_HAVE_DATABASE)

int runServeCommand(const Options&) {
    terminal().line(LineKind::Error, "pxr7: this build has no PostgreSQL client: run it on Linux");
    return EXIT_DATABASE_FAILED;
}

#else

namespace {

void sayServing(const std::string& url) {
    if (terminal().settings().json) {
        JsonObject().add("event", "serving").add("url", url).print();
    } else {
        terminal().line(LineKind::Info, "Serving: " + url + " (read-only)");
    }
}

} // namespace

int runServeCommand(const Options& options) {
    const std::string listen = options.listen.empty() ? "127.0.0.1:8470" : options.listen;
    DatabaseHistoryApi history(options.database);
    std::string problem;
    if (!history.open(problem)) {
        terminal().line(LineKind::Error, "pxr7: the database " +
                                             printable(urlWithoutPassword(options.database)) +
                                             " cannot be used: " + printable(problem) + ".");
        return EXIT_DATABASE_FAILED;
    }
    if (!problem.empty()) {
        terminal().line(LineKind::Warning, "pxr7: the database " +
                                               printable(urlWithoutPassword(options.database)) +
                                               " cannot be used yet: " + printable(problem) +
                                               ". The history pages say so until it can.");
    }
    PageAccess access;
    if (!pageAccessOf(options, access)) {
        return EXIT_USAGE;
    }
    OverviewSettings asking;
    asking.access = {access.key, options.caFile}; // one key for the shop: the stations take it too
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
        return EXIT_SERVE_FAILED;
    }
    ServeAddress where;
    if (!parseServeAddress(listen, where, problem) || !server.start(where, problem)) {
        terminal().line(LineKind::Error, "pxr7: the pages cannot listen: " + problem + ".");
        return EXIT_SERVE_FAILED;
    }
    sayServing(server.url());
    overview.start();
    figures.start();
    installStopSignals();
    waitForStopSignal();
    server.stop();
    figures.stop();
    overview.stop();
    return EXIT_OK;
}

#endif

} // namespace pxr7
