// The collector: every line of every station into the database, exactly once, in order per
// bench. Each station is polled on a thread of its own, with a connection of its own, for the
// lines after the last one stored, a page at a time, each request under a deadline: a station
// that is slow, stalled, far behind or endless never holds up another's lines. A station that
// is away is tried again later (1 s, doubling to 30 s) while the others go on; while the
// database is away nothing advances, and a page whose commit failed is fetched again (the
// unique key makes a repeat harmless). No terminal I/O: it tells an observer, one event at a
// time, from whichever station's thread.
#pragma once

#include "station_client.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pxr7 {

enum class CollectEventKind {
    StationReached, // the station answered (at the start, or after it was away)
    StationAway,    // reason (unreachable, too slow, or an answer refused), retrySeconds
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
    bool once = false;  // every station read to its end once, then end
    std::string key;    // the stations' read key, sent with each request; "" none
    std::string caFile; // what https:// stations' certificates are checked against; "" the system's
};

enum class CollectOutcome {
    Stopped,         // the stop check said so
    AllRead,         // once: every station read to its end
    StationsAway,    // once: a station could not be read
    DatabaseAway,    // once: the database could not be reached
    DatabaseRefused, // a URL libpq cannot read or with a bad value, a refused login, or newer
                     // tables: at once
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
