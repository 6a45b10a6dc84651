// The collector: every line of every station into the database, exactly once, in order per
// bench. It polls each station for the lines after the last one stored, a page at a time; a
// station that is away is tried again later (1 s, doubling to 30 s) while the others go on;
// while the database is away nothing advances, and a page whose commit failed is fetched
// again (the unique key makes a repeat harmless). No terminal I/O: it tells an observer.
#pragma once

#include "station_client.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pxr7 {

enum class CollectEventKind {
    StationReached, // the station answered (at the start, or after it was away)
    StationAway,    // reason, retrySeconds
    Stored,         // lines new in the database, bench, upToSeq
    Clash,          // lines whose key another line holds: in record_quarantine, bench, upToSeq
    Quarantined,    // lines kept aside in record_quarantine: reason, lines, bench, upToSeq
    NewStream,      // a bench known before started a new record: bench, stream
    CaughtUp,       // the station's lines are all stored, for now
    DatabaseAway,   // reason, retrySeconds
    DatabaseBack,
};

struct CollectEvent {
    CollectEventKind kind = CollectEventKind::StationReached;
    std::string station; // the station's URL as given ("" for database events)
    std::string reason;
    int retrySeconds = 0;
    std::size_t lines = 0;
    std::string bench;
    std::int64_t upToSeq = 0;
    std::string stream; // NewStream
};

class CollectObserver {
public:
    virtual ~CollectObserver() = default;
    virtual void collectEvent(const CollectEvent& event) = 0;
};

struct CollectSettings {
    std::vector<std::string> stations;
    std::string database;
    bool once = false; // one pass over every station, then end
};

enum class CollectOutcome {
    Stopped,         // the stop check said so
    AllRead,         // once: every station read to its end
    StationsAway,    // once: a station could not be read
    DatabaseAway,    // once: the database could not be reached
    DatabaseRefused, // a URL libpq cannot read, a refused login, or newer tables: at once
};

struct CollectResult {
    CollectOutcome outcome = CollectOutcome::Stopped;
    std::string reason;    // DatabaseRefused, DatabaseAway: why
    int schemaVersion = 0; // DatabaseRefused by newer tables: their version, else 0
};

// The wait after a failed try, given the one before (0 at first): 1 s, doubling to 30 s.
int nextBackoffSeconds(int previous);

CollectResult runCollector(const CollectSettings& settings, CollectObserver& observer,
                           const CollectStop& stop);

} // namespace pxr7
