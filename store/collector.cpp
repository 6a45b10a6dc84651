// The collector's loop: one thread, the stations in turn, the database in between.
#include "collector.h"

#include "line_checks.h"
#include "pg_connection.h"
#include "record_store.h"
#include "schema.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace pxr7 {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollPause = std::chrono::seconds(1);
constexpr int kMostBackoffSeconds = 30;

CollectEvent eventOf(CollectEventKind kind, const std::string& station = "",
                     const std::string& reason = "", int retrySeconds = 0) {
    CollectEvent event;
    event.kind = kind;
    event.station = station;
    event.reason = reason;
    event.retrySeconds = retrySeconds;
    return event;
}

struct Station {
    std::string url;
    StationAddress address;
    std::string addressProblem;
    bool known = false; // nextSince was read from the database since it was last (re)connected
    std::int64_t nextSince = kFirstSince;
    std::string stream; // the record's stream when nextSince was reached
    Clock::time_point nextTry{};
    int backoff = 0;
    bool reached = false, caughtUp = false;
    bool passed = false, failed = false; // once: tried, and how it went
};

class Collector {
public:
    Collector(const CollectSettings& settings, CollectObserver& observer, const CollectStop& stop)
        : settings_(settings), observer_(observer), stop_(stop) {
        for (const std::string& url : settings.stations) {
            Station station;
            // One key per station in collector_stations, with or without the final "/".
            station.url = !url.empty() && url.back() == '/' ? url.substr(0, url.size() - 1) : url;
            parseStationUrl(url, station.address, station.addressProblem);
            stations_.push_back(std::move(station));
        }
    }
    CollectResult run();

private:
    bool stopping() const { return stop_ && stop_(); }
    void emit(const CollectEvent& event) { observer_.collectEvent(event); }
    void connectDatabase();
    void databaseFailed(const DbStatus& status);
    void refuse(const std::string& reason, int version = 0);
    void pollStation(Station& station);
    bool readPages(Station& station);
    void reportStored(const Station& station, const StationPage& page, const PageStored& stored);
    void stationFailed(Station& station, const std::string& reason);
    void stationReached(Station& station);
    bool passOver();
    void waitUntil(Clock::time_point when) const;

    const CollectSettings& settings_;
    CollectObserver& observer_;
    const CollectStop& stop_;
    std::vector<Station> stations_;
    PgConnection db_;
    bool dbUp_ = false, dbWasAway_ = false, refused_ = false;
    int dbBackoff_ = 0;
    Clock::time_point dbNextTry_{};
    CollectResult result_;
};

void Collector::refuse(const std::string& reason, int version) {
    refused_ = true;
    result_ = {CollectOutcome::DatabaseRefused, reason, version};
}

void Collector::databaseFailed(const DbStatus& status) {
    if (status.problem == DbProblem::BadUrl || status.problem == DbProblem::LoginRefused) {
        return refuse(status.message);
    }
    db_.close();
    dbUp_ = false;
    dbWasAway_ = true;
    dbBackoff_ = nextBackoffSeconds(dbBackoff_);
    dbNextTry_ = Clock::now() + std::chrono::seconds(dbBackoff_);
    result_.reason = status.message;
    for (Station& station : stations_) {
        station.known = false; // a commit that failed may have gone in after all
    }
    emit(eventOf(CollectEventKind::DatabaseAway, "", status.message,
                 settings_.once ? 0 : dbBackoff_));
}

void Collector::connectDatabase() {
    const DbStatus status = db_.connect(settings_.database, stop_);
    if (!status.ok() && !stopping()) {
        return databaseFailed(status);
    }
    if (!status.ok()) {
        return;
    }
    const SchemaCheck schema = ensureSchema(db_);
    if (schema.outcome == SchemaOutcome::Newer) {
        return refuse("the database's tables are version " + std::to_string(schema.version) +
                          "; this pxr7 knows version " + std::to_string(kSchemaVersion),
                      schema.version);
    }
    if (schema.outcome == SchemaOutcome::Failed) {
        // A live server that will not make the tables (no permission) will not change its mind.
        if (schema.status.problem == DbProblem::Statement) {
            return refuse(schema.status.message);
        }
        return databaseFailed(schema.status);
    }
    dbUp_ = true;
    dbBackoff_ = 0;
    if (dbWasAway_) {
        emit(eventOf(CollectEventKind::DatabaseBack));
    }
    dbWasAway_ = false;
}

void Collector::stationReached(Station& station) {
    station.backoff = 0;
    if (!station.reached) {
        emit(eventOf(CollectEventKind::StationReached, station.url));
    }
    station.reached = true;
}

void Collector::stationFailed(Station& station, const std::string& reason) {
    station.backoff = nextBackoffSeconds(station.backoff);
    station.nextTry = Clock::now() + std::chrono::seconds(station.backoff);
    station.reached = station.caughtUp = false;
    station.passed = station.failed = true;
    noteStationProblem(db_, station.url, reason);
    emit(eventOf(CollectEventKind::StationAway, station.url, reason,
                 settings_.once ? 0 : station.backoff));
}

// Pages until the station has no more; false when it or the database failed on the way.
bool Collector::readPages(Station& station) {
    for (bool more = true; more;) {
        StationPage page;
        std::string problem;
        if (!fetchStationPage(station.address, station.nextSince, page, problem, stop_)) {
            if (!stopping()) {
                stationFailed(station, problem);
            }
            return false;
        }
        stationReached(station);
        // A record in another stream than the one read so far may hold lines below since.
        if (!page.stream.empty() && page.stream != station.stream &&
            station.nextSince != kFirstSince) {
            station.nextSince = kFirstSince;
            station.stream = page.stream;
            continue;
        }
        PageStored stored;
        const DbStatus status = storePage(db_, station.url, page, stored);
        if (!status.ok()) {
            databaseFailed(status);
            return false;
        }
        station.nextSince = page.nextSince;
        station.stream = page.stream.empty() ? station.stream : page.stream;
        station.caughtUp = station.caughtUp && stored.inserted == 0;
        reportStored(station, page, stored);
        more = page.more && !stopping();
    }
    return !stopping();
}

void Collector::reportStored(const Station& station, const StationPage& page,
                             const PageStored& stored) {
    for (const NewStream& stream : stored.newStreams) {
        CollectEvent event = eventOf(CollectEventKind::NewStream, station.url);
        event.bench = stream.bench;
        event.stream = stream.stream;
        emit(event);
    }
    if (stored.inserted > 0) {
        CollectEvent event = eventOf(CollectEventKind::Stored, station.url);
        event.lines = stored.inserted;
        event.bench = page.lines.back().bench;
        event.upToSeq = page.lines.back().seq;
        emit(event);
    }
    for (const QuarantinedLines& aside : stored.quarantined) {
        const bool clash = aside.reason == kSeqRepeats;
        CollectEvent event =
            eventOf(clash ? CollectEventKind::Clash : CollectEventKind::Quarantined, station.url,
                    clash ? "" : aside.reason);
        event.lines = aside.lines;
        event.bench = aside.bench;
        event.upToSeq = aside.upToSeq;
        emit(event);
    }
}

void Collector::pollStation(Station& station) {
    if (!station.addressProblem.empty()) {
        return stationFailed(station, station.addressProblem);
    }
    if (!station.known) {
        const DbStatus status =
            storedNextSince(db_, station.url, station.nextSince, station.stream);
        if (!status.ok()) {
            return databaseFailed(status);
        }
        station.known = true;
    }
    if (!readPages(station)) {
        return;
    }
    if (!station.caughtUp) {
        emit(eventOf(CollectEventKind::CaughtUp, station.url));
    }
    station.caughtUp = station.passed = true;
    station.nextTry = Clock::now() + kPollPause;
}

// Every station that is due, once; false when the database went away on the way.
bool Collector::passOver() {
    for (Station& station : stations_) {
        if (stopping() || refused_ || !dbUp_) {
            break;
        }
        if ((settings_.once && station.passed) || Clock::now() < station.nextTry) {
            continue;
        }
        pollStation(station);
    }
    return dbUp_;
}

void Collector::waitUntil(Clock::time_point when) const {
    while (!stopping() && Clock::now() < when) {
        std::this_thread::sleep_for(
            std::min<Clock::duration>(std::chrono::milliseconds(100), when - Clock::now()));
    }
}

CollectResult Collector::run() {
    while (!stopping()) {
        if (!dbUp_ && Clock::now() >= dbNextTry_) {
            connectDatabase();
        }
        if (refused_) {
            return result_;
        }
        if (dbUp_ && passOver()) {
            const auto passed = [](const Station& s) { return s.passed; };
            if (settings_.once && std::all_of(stations_.begin(), stations_.end(), passed)) {
                const bool failed = std::any_of(stations_.begin(), stations_.end(),
                                                [](const Station& s) { return s.failed; });
                return {failed ? CollectOutcome::StationsAway : CollectOutcome::AllRead, "", 0};
            }
        }
        if (refused_) {
            return result_;
        }
        if (!dbUp_ && settings_.once) {
            return {CollectOutcome::DatabaseAway, result_.reason, 0};
        }
        Clock::time_point next = dbUp_ ? Clock::now() + kPollPause : dbNextTry_;
        for (const Station& station : stations_) {
            next = dbUp_ ? std::min(next, station.nextTry) : next;
        }
        waitUntil(next);
    }
    return {CollectOutcome::Stopped, "", 0};
}

} // namespace

int nextBackoffSeconds(int previous) {
    return previous <= 0 ? 1 : std::min(previous * 2, kMostBackoffSeconds);
}

CollectResult runCollector(const CollectSettings& settings, CollectObserver& observer,
                           const CollectStop& stop) {
    Collector collector(settings, observer, stop);
    return collector.run();
}

} // namespace pxr7
