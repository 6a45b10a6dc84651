// The collector: each station on a thread of its own with a database connection of its own, so
// a station that is slow, stalled, hostile or far behind costs only itself; what they share
// (the observer, the database's state, the run's end) is in CollectShared.
#include "collector.h"

#include "collect_shared.h"
#include "line_checks.h"
#include "pg_connection.h"
#include "record_store.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace pxr7 {

namespace {

using Clock = CollectClock;
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

// One page after since, as fetchStationPage gives it.
struct Fetched {
    bool ok = false;
    StationPage page;
    std::string problem;
};

// One station's collector, on its own thread: its pages into the database while it has more,
// then again after a pause, or after a backoff while it is away.
class Collector {
public:
    Collector(const std::string& url, CollectShared& shared) : shared_(shared) {
        // One key per station in collector_stations, with or without the final "/".
        station_.url = !url.empty() && url.back() == '/' ? url.substr(0, url.size() - 1) : url;
        parseStationUrl(url, station_.address, station_.addressProblem);
        station_.address.key = shared.settings().key;
        station_.address.caFile = shared.settings().caFile;
    }
    void run();
    bool failed() const { return station_.failed; }

private:
    bool once() const { return shared_.settings().once; }
    bool stopping() const { return shared_.stopping(); }
    void emit(const CollectEvent& event) { shared_.emit(event); }
    void pollStation(Station& station);
    Fetched fetch(std::int64_t since) const;
    bool storeAndTell(Station& station, const StationPage& page);
    bool readPages(Station& station);
    void reportStored(const Station& station, const StationPage& page, const PageStored& stored);
    void stationFailed(Station& station, const std::string& reason);
    void stationReached(Station& station);
    void databaseFailed(const DbStatus& status) {
        shared_.statementFailed(db_, status);
        station_.known = false; // a commit that failed may have gone in after all
    }

    CollectShared& shared_;
    Station station_;
    PgConnection db_;
    const CollectStop& stop_ = shared_.stop();
};

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
    emit(eventOf(CollectEventKind::StationAway, station.url, reason, once() ? 0 : station.backoff));
}

Fetched Collector::fetch(std::int64_t since) const {
    Fetched fetched;
    fetched.ok = fetchStationPage(station_.address, since, fetched.page, fetched.problem, stop_);
    return fetched;
}

// Stores the page and says what came of it; false when the database failed.
bool Collector::storeAndTell(Station& station, const StationPage& page) {
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
    return true;
}

// A record in another stream than the one read so far may hold lines below since: it is read
// again from its first line.
bool startedAgain(Station& station, const StationPage& page) {
    if (page.stream.empty() || page.stream == station.stream || station.nextSince == kFirstSince) {
        return false;
    }
    station.nextSince = kFirstSince;
    station.stream = page.stream;
    return true;
}

// Pages until the station has no more; false when it or the database failed on the way. While
// a page is stored the next one is fetched already, so that the station and the database work
// side by side; it is stored only after the one before it, and dropped when that failed.
bool Collector::readPages(Station& station) {
    Fetched next = fetch(station.nextSince);
    for (;;) {
        if (!next.ok) {
            if (!stopping()) {
                stationFailed(station, next.problem);
            }
            return false;
        }
        stationReached(station);
        const Fetched page = std::move(next);
        if (startedAgain(station, page.page)) {
            next = fetch(kFirstSince);
            continue;
        }
        std::future<Fetched> ahead;
        if (page.page.more && !stopping()) {
            ahead = std::async(std::launch::async,
                               [this, since = page.page.nextSince] { return fetch(since); });
        }
        if (!storeAndTell(station, page.page) || !ahead.valid()) {
            return db_.connected() && !stopping();
        }
        next = ahead.get();
    }
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

void Collector::run() {
    while (!shared_.ending() && !(once() && station_.passed)) {
        if (!db_.connected()) {
            station_.known = false;
            if (!shared_.connect(db_)) {
                shared_.waitUntil(
                    std::max(shared_.nextDatabaseTry(), Clock::now() + kPollPause / 10));
                continue;
            }
        }
        if (Clock::now() >= station_.nextTry) {
            pollStation(station_);
        }
        if (!(once() && station_.passed) && db_.connected()) {
            shared_.waitUntil(station_.nextTry);
        }
    }
}

} // namespace

int nextBackoffSeconds(int previous) {
    return previous <= 0 ? 1 : std::min(previous * 2, kMostBackoffSeconds);
}

CollectResult runCollector(const CollectSettings& settings, CollectObserver& observer,
                           const CollectStop& stop) {
    CollectShared shared(settings, observer, stop);
    std::vector<std::unique_ptr<Collector>> collectors;
    for (const std::string& url : settings.stations) {
        collectors.push_back(std::make_unique<Collector>(url, shared));
    }
    std::vector<std::thread> threads;
    for (const auto& collector : collectors) {
        threads.emplace_back([&collector] { collector->run(); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const bool failed = std::any_of(collectors.begin(), collectors.end(),
                                    [](const auto& collector) { return collector->failed(); });
    return shared.result(failed);
}

} // namespace pxr7
