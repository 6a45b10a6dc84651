// pxr7 station: meter after meter on a bench of meter leads until Ctrl+C, SIGTERM or --count.
// Starting it is the consent to upgrade the meters that come to it, so it asks nothing.
#include "bench_file.h"
#include "commands.h"
#include "firmware_image.h"
#include "served_dashboard.h"
#include "shared_options.h"
#include "station_fanout.h"
#include "station_record.h"
#include "station_view.h"
#include "stop_signals.h"
#include "terminal.h"
#include "unit_id_reader.h"

#include <CLI/CLI.hpp>

#include <optional>

namespace pxr7 {

namespace {

struct StationOptions {
    int count = 0;            // meters to finish; 0: until stopped
    int retries = 2;          // further transfers after a retryable failure
    std::string recordPath;   // empty: the default record (record.h)
    bool setup = false;       // set up factory-fresh leads without asking
    bool laneCounts = false;  // the station shows each lane's own counts
    std::string benchPath;    // empty: the default bench file, if there is one (bench_file.h)
    bool unitIds = false;     // a meter is upgraded only once it has a unit id
    std::string operatorName; // who runs the bench; "" none given
    std::string serve;        // "[HOST:]PORT" of the dashboard; "" none
    PageAccessOptions access;
};

void addStationOptions(CLI::App& command, StationOptions& options) {
    command.footer("Starting the station is the consent to upgrade every meter that comes to "
                   "it.\nIt runs until Ctrl+C (the upgrades under way finish first), SIGTERM or "
                   "--count.");
    command
        .add_option("--count", options.count,
                    "end after N meters have finished (0, the default:\nuntil stopped)")
        ->option_text("N")
        ->check(meterCount);
    command
        .add_option("--retries", options.retries,
                    "try a meter again this often after no handshake, a\n"
                    "stopped transfer or no answer (default 2)")
        ->option_text("N")
        ->check(meterCount);
    addRecordOption(command, options.recordPath,
                    "append each meter's line to FILE instead of the\ndefault record");
    command.add_flag("--setup", options.setup, "set up factory-fresh leads without asking");
    command.add_flag("--lane-counts", options.laneCounts,
                     "show each lane's own ok, current and failed counts");
    command
        .add_option("--bench", options.benchPath,
                    "name the leads as FILE says (default: bench.conf\n"
                    "in the config folder, if it is there)")
        ->option_text("FILE")
        ->check(notEmpty);
    command.add_flag("--unit-ids", options.unitIds,
                     "upgrade a meter only once its unit id is typed\nor scanned");
    addOperatorOption(command, options.operatorName);
    CLI::Option* serve = addAddressOption(command, "--serve", options.serve,
                                          "serve the dashboard on [HOST:]PORT (HOST 127.0.0.1\n"
                                          "unless given; port 0 picks a free one)");
    addPageAccessOptions(command, options.access, true, serve);
}

// A first Ctrl+C lets the upgrades under way finish; a second one, SIGTERM or SIGHUP stop them.
bool stopNow() {
    return stopRequested() == StopRequest::Stop;
}

StationStops stationStops() {
    StationStops stops;
    stops.drain = anyStopSignal;
    stops.stopNow = stopNow;
    stops.outcome = stopOutcome;
    return stops;
}

// The bench file given, else the default one if it is there. False, said, when it is refused.
bool loadBench(const StationOptions& options, BenchFile& bench) {
    const std::string path =
        resolveProgramPath(ProgramFolder::Config, options.benchPath, kBenchFileName);
    std::string problem;
    if (path.empty() || loadBenchFile(path, !options.benchPath.empty(), bench, problem)) {
        return true;
    }
    terminal().line(LineKind::Error, "pxr7: " + problem + ". The station does not start.");
    return false;
}

// Keys are read while unit ids are on or lanes may go out of service: ids typed or scanned,
// and Ctrl+R to take lanes back into service.
StationResult runWithKeys(const StationSettings& settings, OperatorName& who, StationView& view,
                          StationObserver& observer, LaneService& service) {
    UnitIds* ids = settings.unitIds;
    UnitIdReader reader(
        [ids, &who, &observer](const std::string& line) {
            if (ids != nullptr) {
                takeUnitIdInput(*ids, &who, observer, line);
            }
        },
        [ids, &view](const std::string& text) {
            if (ids != nullptr) {
                view.unitIdTyping(text);
            }
        },
        [&service] { service.takeBack(); });
    if (ids != nullptr) {
        terminal().line(LineKind::Info,
                        settings.bench.unitIdsOldestFirst
                            ? "Unit ids: scan or type each meter's id and press Enter; it goes to "
                              "the meter that waits longest, or to the next one (LANE:NAME "
                              "first: to that fixture's)."
                            : "Unit ids: scan the fixture's label (LANE:NAME), then the meter's "
                              "id; with one meter waiting, its id alone will do.");
        view.unitIdTarget(ids->target());
    }
    reader.start();
    const StationResult result = runStation(settings, stationStops(), observer);
    reader.stop();
    return result;
}

// With --serve, the live page and its server; an outcome other than Outcome::Ok when they
// cannot start.
Outcome startPages(const StationOptions& options, const BenchFile& bench,
                   const std::string& recordPath, std::optional<LiveFeed>& feed,
                   std::optional<ServedDashboard>& dashboard) {
    if (options.serve.empty()) {
        return Outcome::Ok;
    }
    PageAccess access;
    if (!pageAccessOf(options.access, access)) {
        return Outcome::Usage;
    }
    feed.emplace(liveFeedSettings(bench.name));
    dashboard.emplace(recordPath, &*feed);
    return dashboard->start(options.serve, access) ? Outcome::Ok : Outcome::ServeFailed;
}

void sayHowItEnded(const StationResult& result, const std::string& recordPath) {
    if (result.outcome == Outcome::RecordFailed) {
        terminal().line(LineKind::Error, "pxr7: the record " + recordPath +
                                             " could not be written (" + result.recordProblem +
                                             "): no new meter was started. Free the disk or fix "
                                             "the record, then start the station again.");
    } else if (result.outcome == Outcome::StationFailures) {
        terminal().line(LineKind::Error, "pxr7: at least one meter failed for good: see the "
                                         "record, and upgrade each one again with pxr7 upgrade.");
    }
}

// The screen, and the pages if they are served, while the station runs.
StationResult runWatched(const StationOptions& options, StationSettings& settings,
                         OperatorName& who, LiveFeed* feed) {
    StationViewSettings viewSettings;
    viewSettings.imageVersion = settings.declaredVersion;
    viewSettings.laneCounts = options.laneCounts;
    StationView view(viewSettings);
    StationFanout observer(view, feed);
    if (!who.get().empty()) {
        view.operatorChanged(who.get());
    }
    LaneService service;
    settings.service = &service;
    // The lanes' events are written by a thread of their own: a transfer's callback never
    // waits for a slow terminal or a pipe nobody reads.
    terminal().startWriter();
    const StationResult result = settings.unitIds != nullptr || settings.bench.outOfServiceAfter > 0
                                     ? runWithKeys(settings, who, view, observer, service)
                                     : runStation(settings, stationStops(), observer);
    terminal().stopWriter();
    view.finish(result);
    return result;
}

Outcome runStationCommand(const ProgramOptions& program, const StationOptions& options) {
    const StationRecord record = stationRecordFor(options.recordPath);
    if (!record.refusal.ok()) {
        terminal().line(LineKind::Error, record.refusal.diagnosis);
        return record.refusal.outcome;
    }
    const std::string& recordPath = record.path;
    BenchFile bench;
    if (!loadBench(options, bench)) {
        return Outcome::Usage;
    }
    // Listening first: a port taken or refused ends the station before any lead is touched.
    std::optional<LiveFeed> feed;
    std::optional<ServedDashboard> dashboard;
    if (const Outcome served = startPages(options, bench, recordPath, feed, dashboard);
        served != Outcome::Ok) {
        return served;
    }
    installStopSignals();
    if (!loadDriver(program)) {
        return Outcome::NoDriver;
    }
    StationSettings settings;
    settings.count = options.count;
    settings.retries = options.retries;
    settings.setUp = options.setup;
    settings.recordPath = recordPath;
    settings.declaredVersion = embeddedImageVersion();
    settings.bench = bench;
    UnitIds ids(bench.unitIdsOldestFirst ? UnitIdOrder::OldestFirst : UnitIdOrder::Fixture);
    settings.unitIds = options.unitIds || bench.unitIds ? &ids : nullptr;
    // The command line names the operator over the bench file; a badge over both, later.
    OperatorName who(options.operatorName.empty() ? bench.operatorName
                                                  : withoutBlanks(options.operatorName));
    settings.operatorName = &who;
    if (embeddedImageIsStandIn()) {
        terminal().line(LineKind::Warning, kStandInImageNotice);
    }
    terminal().line(LineKind::Info, "Station: upgrading every meter that comes to a meter lead; "
                                    "each one is recorded in " +
                                        settings.recordPath + ". Ctrl+C ends it.");
    const StationResult result = runWatched(options, settings, who, feed ? &*feed : nullptr);
    if (dashboard) {
        // The pages see the end and the last figures before the server goes.
        feed->finish(result);
        dashboard->stop(std::chrono::milliseconds(500));
    }
    sayHowItEnded(result, settings.recordPath);
    return result.outcome;
}

// Meter after meter on the bench. It loads the driver itself, after the record, the bench file
// and the pages are known good: what it cannot start with ends it before any lead is touched.
class StationCommand final : public CliCommand {
public:
    const char* name() const override { return "station"; }
    const char* description() const override {
        return "upgrade meter after meter on a bench of meter leads";
    }
    void addOptions(CLI::App& command) override { addStationOptions(command, options_); }
    Outcome run(const ProgramOptions& program, const Opening&) override {
        return runStationCommand(program, options_);
    }

private:
    StationOptions options_;
};

} // namespace

std::unique_ptr<CliCommand> makeStationCommand() {
    return std::make_unique<StationCommand>();
}

} // namespace pxr7
