#include "collect_shared.h"

#include "schema.h"

#include <algorithm>
#include <thread>

namespace pxr7 {

CollectShared::CollectShared(const CollectSettings& settings, CollectObserver& observer,
                             const CollectStop& stop)
    : settings_(settings), observer_(observer), stop_(stop) {}

bool CollectShared::ending() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return refused_ || awayOnce_ || stopping();
}

void CollectShared::emit(const CollectEvent& event) {
    const std::lock_guard<std::mutex> lock(observerMutex_);
    observer_.collectEvent(event);
}

void CollectShared::refuse(const std::string& reason, int version) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!refused_) {
        refused_ = true;
        result_ = {CollectOutcome::DatabaseRefused, reason, version};
    }
}

void CollectShared::databaseAway(const std::string& reason) {
    CollectEvent event;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto now = CollectClock::now();
        if (refused_ || awayOnce_ || (away_ && now < nextTry_)) {
            return; // another collector's try said so a moment ago
        }
        away_ = true;
        awayOnce_ = settings_.once;
        backoff_ = nextBackoffSeconds(backoff_);
        nextTry_ = now + std::chrono::seconds(backoff_);
        result_.reason = reason;
        event.kind = CollectEventKind::DatabaseAway;
        event.reason = reason;
        event.retrySeconds = settings_.once ? 0 : backoff_;
    }
    emit(event);
}

bool CollectShared::connect(PgConnection& db) {
    if (CollectClock::now() < nextDatabaseTry()) {
        return false;
    }
    const DbStatus status = db.connect(settings_.database, stop_);
    if (!status.ok()) {
        if (!stopping()) {
            connectionFailed(db, status);
        }
        return false;
    }
    const SchemaCheck schema = ensureSchema(db);
    if (schema.outcome == SchemaOutcome::Newer) {
        refuse("the database's tables are version " + std::to_string(schema.version) +
                   "; this pxr7 knows version " + std::to_string(kSchemaVersion),
               schema.version);
        return false;
    }
    if (schema.outcome == SchemaOutcome::Failed) {
        // A live server that will not make the tables (no permission) will not change its mind.
        if (schema.status.problem == DbProblem::Statement) {
            refuse(schema.status.message);
        } else {
            connectionFailed(db, schema.status);
        }
        return false;
    }
    bool back = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        back = away_;
        away_ = false;
        backoff_ = 0;
    }
    if (back) {
        CollectEvent event;
        event.kind = CollectEventKind::DatabaseBack;
        emit(event);
    }
    return true;
}

void CollectShared::connectionFailed(PgConnection& db, const DbStatus& status) {
    if (status.problem == DbProblem::BadUrl || status.problem == DbProblem::LoginRefused) {
        return refuse(status.message);
    }
    db.close();
    databaseAway(status.message);
}

void CollectShared::statementFailed(PgConnection& db, const DbStatus& status) {
    if (status.problem == DbProblem::BadUrl || status.problem == DbProblem::LoginRefused) {
        return refuse(status.message);
    }
    db.close();
    // A statement the live server refused is not mended by connecting again at once: the
    // database counts as away, with the backoff. A lost connection is connected again first,
    // and only said to be away when that fails.
    if (status.problem == DbProblem::Statement) {
        databaseAway(status.message);
    }
}

CollectClock::time_point CollectShared::nextDatabaseTry() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return away_ ? nextTry_ : CollectClock::time_point{};
}

void CollectShared::waitUntil(CollectClock::time_point when) const {
    while (!ending() && CollectClock::now() < when) {
        std::this_thread::sleep_for(std::min<CollectClock::duration>(std::chrono::milliseconds(100),
                                                                     when - CollectClock::now()));
    }
}

CollectResult CollectShared::result(bool stationFailed) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (refused_) {
        return result_;
    }
    if (awayOnce_) {
        return {CollectOutcome::DatabaseAway, result_.reason, 0};
    }
    if (stopping() || !settings_.once) {
        return {CollectOutcome::Stopped, "", 0};
    }
    return {stationFailed ? CollectOutcome::StationsAway : CollectOutcome::AllRead, "", 0};
}

} // namespace pxr7
