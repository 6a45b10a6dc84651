// pxr7 station: meter after meter on a bench of meter leads until Ctrl+C, SIGTERM or --count.
// Starting it is the consent to upgrade the meters that come to it, so it asks nothing.
#include "bench_file.h"
#include "commands.h"
#include "firmware_image.h"
#include "printable.h"
#include "record.h"
#include "served_dashboard.h"
#include "station_fanout.h"
#include "station_view.h"
#include "stop_signals.h"
#include "terminal.h"
#include "unit_id_reader.h"

#include <optional>

namespace pxr7 {

namespace {

// A first Ctrl+C lets the upgrades under way finish; a second one, SIGTERM or SIGHUP stop them.
bool stopNow() {
    return stopRequested() == StopRequest::Stop;
}

StationStops stationStops() {
    StationStops stops;
    stops.drain = anyStopSignal;
    stops.stopNow = stopNow;
    stops.exitCode = stopExitCode;
    return stops;
}

// The bench file given, else the default one if it is there. False, said, when it is refused.
bool loadBench(const Options& options, BenchFile& bench) {
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

// With --serve, the live page and its server; an exit code other than EXIT_OK when they
// cannot start.
int startPages(const Options& options, const BenchFile& bench, const std::string& recordPath,
               std::optional<LiveFeed>& feed, std::optional<ServedDashboard>& dashboard) {
    if (options.serve.empty()) {
        return EXIT_OK;
    }
    PageAccess access;
    if (!pageAccessOf(options, access)) {
        return EXIT_USAGE;
    }
    feed.emplace(liveFeedSettings(bench.name));
    dashboard.emplace(recordPath, &*feed);
    return dashboard->start(options.serve, access) ? EXIT_OK : EXIT_SERVE_FAILED;
}

void sayHowItEnded(const StationResult& result, const std::string& recordPath) {
    if (result.exitCode == EXIT_RECORD_FAILED) {
        terminal().line(LineKind::Error, "pxr7: the record " + recordPath +
                                             " could not be written (" + result.recordProblem +
                                             "): no new meter was started. Free the disk or fix "
                                             "the record, then start the station again.");
    } else if (result.exitCode == EXIT_STATION_FAILURES) {
        terminal().line(LineKind::Error, "pxr7: at least one meter failed for good: see the "
                                         "record, and upgrade each one again with pxr7 upgrade.");
    }
}

// The record the station will write, checked: EXIT_OK, or the code it does not start with.
int recordToWrite(const Options& options, std::string& recordPath) {
    recordPath = resolveStatePath(options.recordPath, kRecordFileName);
    if (recordPath.empty()) {
        // Every meter must be recorded before its lane goes on: no record, no station.
        terminal().line(LineKind::Error, "pxr7: the environment names no home for the record: "
                                         "give one with --record FILE.");
        return EXIT_USAGE;
    }
    // Found out now, not after the first meter has been upgraded with nothing to show for it.
    std::string problem;
    if (!checkNumberedRecordWritable(recordPath, seqCounterPath(recordPath), problem)) {
        terminal().line(LineKind::Error, "pxr7: cannot write the record " + printable(recordPath) +
                                             ": " + problem + ". The station does not start.");
        return EXIT_RECORD_FAILED;
    }
    return EXIT_OK;
}

// The screen, and the pages if they are served, while the station runs.
StationResult runWatched(const Options& options, StationSettings& settings, OperatorName& who,
                         LiveFeed* feed) {
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

} // namespace

int runStationCommand(const Options& options) {
    std::string recordPath;
    if (const int refused = recordToWrite(options, recordPath); refused != EXIT_OK) {
        return refused;
    }
    BenchFile bench;
    if (!loadBench(options, bench)) {
        return EXIT_USAGE;
    }
    // Listening first: a port taken or refused ends the station before any lead is touched.
    std::optional<LiveFeed> feed;
    std::optional<ServedDashboard> dashboard;
    if (const int served = startPages(options, bench, recordPath, feed, dashboard);
        served != EXIT_OK) {
        return served;
    }
    installStopSignals();
    if (!loadDriver(options)) {
        return EXIT_NO_DRIVER;
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
    return result.exitCode;
}

} // namespace pxr7
