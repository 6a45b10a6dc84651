// What the stations' collectors share while each runs on its own thread: the observer, told one
// event at a time; the database's state (up, or away until when), so that an outage is said
// once however many collectors meet it and every one waits out the same backoff; and the run's
// end (a stop asked for, a database refused, or with --once a database away).
#pragma once

#include "collector.h"
#include "pg_connection.h"

#include <chrono>
#include <mutex>

namespace pxr7 {

using CollectClock = std::chrono::steady_clock;

class CollectShared {
public:
    CollectShared(const CollectSettings& settings, CollectObserver& observer,
                  const CollectStop& stop);

    const CollectSettings& settings() const { return settings_; }
    const CollectStop& stop() const { return stop_; }
    bool stopping() const { return stop_ && stop_(); }
    // Whether every collector should end now: stopped, refused, or once and the database away.
    bool ending() const;
    void emit(const CollectEvent& event);

    // Connects db and checks its tables; false when the database is away (said, unless another
    // collector said so already) or refused (the run ends). While the database is away, no
    // collector tries before the backoff has passed.
    bool connect(PgConnection& db);
    // A statement on db failed: a refusal ends the run; otherwise db is closed, to be
    // connected again (a lost connection is said to be away only when that fails; a statement
    // the server refused at once, with the backoff).
    void statementFailed(PgConnection& db, const DbStatus& status);
    // When connect may be tried again.
    CollectClock::time_point nextDatabaseTry() const;
    // Waits until when, or until the run ends, a tenth of a second at a time.
    void waitUntil(CollectClock::time_point when) const;

    // The end of a run whose collectors have all returned; stationFailed: with --once, whether
    // a station could not be read.
    CollectResult result(bool stationFailed) const;

private:
    void refuse(const std::string& reason, int version = 0);
    void connectionFailed(PgConnection& db, const DbStatus& status);
    void databaseAway(const std::string& reason);

    const CollectSettings& settings_;
    CollectObserver& observer_;
    const CollectStop& stop_;
    std::mutex observerMutex_;
    mutable std::mutex mutex_; // the members below
    bool away_ = false, refused_ = false, awayOnce_ = false;
    int backoff_ = 0;
    CollectClock::time_point nextTry_{};
    CollectResult result_;
};

} // namespace pxr7
