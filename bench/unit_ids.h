// Unit ids the operator types or scans, and the lanes whose meters wait for one. An id binds to a
// lane's waiting meter, never to a place in a queue:
//  - the operator scans the fixture's label first (LANE:NAME, unit_scan.h), and the next id goes
//    to that lane's waiting meter, or waits for that lane's next meter;
//  - with no fixture scanned, an id goes to the one meter waiting; with several waiting it is
//    refused ("scan the fixture first"), and with none it is refused too;
//  - the bench file's unit_id_order = oldest_first keeps the older rule for ids without a scan:
//    the meter that has waited longest gets it, and one given while none waits waits itself.
// A meter that leaves before it was served gives up its place (the next one on its lane waits
// behind every meter there before it), and an id bound to it is let go, not handed on: it was
// scanned for that meter. An id is bound for one unit only. A fixture scan lapses when no id
// follows within kLaneScanKept. The lanes' threads, the station's walk and the reader of the
// operator's keys share it, so every call takes its lock; time comes in as a parameter.
#pragma once

#include "unit_id_news.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace pxr7 {

constexpr std::size_t kLongestUnitId = 64;
constexpr std::chrono::seconds kLaneScanKept{30};

enum class UnitIdOrder { Fixture, OldestFirst };

// The text without the blanks a scanner or a person adds around it.
std::string withoutBlanks(const std::string& typed);
// Whether id may be an id (or an operator's name) at all, whatever is bound or waiting.
UnitIdRefusal checkUnitIdText(const std::string& id);

class UnitIds {
public:
    using Clock = std::chrono::steady_clock;

    explicit UnitIds(UnitIdOrder order = UnitIdOrder::Fixture) : order_(order) {}

    // A lane came up (its tag names it for scans and events) or ended (its waiting meter with
    // it).
    void laneOpened(const LaneTag& lane);
    UnitIdNews laneClosed(int lane, Clock::time_point now);

    // The operator scanned a fixture's label: the text after "LANE:".
    UnitIdNews scanLane(const std::string& label, Clock::time_point now);
    // The operator typed an id (blanks around it dropped): bound, waiting, or refused.
    UnitIdNews offer(const std::string& typed, Clock::time_point now);

    // A meter arrived on lane and needs an id: one scanned for the lane (or, oldest first, a
    // waiting one) is bound to it and returned; otherwise the lane waits behind every other.
    std::optional<std::string> meterArrived(int lane, Clock::time_point now, UnitIdNews& news);
    // The id bound to lane, if any.
    std::optional<std::string> idFor(int lane) const;
    // The lane's meter left unserved: it gives up its place; an id bound to it is let go.
    UnitIdNews meterLeft(int lane, Clock::time_point now);
    // The lane's unit ended: its id is used up.
    void unitEnded(int lane);

    // A fixture scan older than kLaneScanKept lapses; news of the target when it moved.
    UnitIdNews lapse(Clock::time_point now);
    // Where the next id goes now.
    UnitIdTarget target() const;
    // The ids waiting for a meter (oldest first only), oldest first.
    std::vector<std::string> waiting() const;

private:
    struct Lane {
        LaneTag tag;
        bool waiting = false; // a meter waits unserved for its id
        long long since = 0;  // its place in line: the order it began to wait in
        std::optional<std::string> bound;
        std::optional<std::string> scanned; // waits for the lane's next meter
    };

    bool known(const std::string& id) const;
    std::optional<int> laneLabelled(const std::string& label, UnitIdRefusal& refusal) const;
    std::optional<int> oldestWaiting() const;
    int waitingCount() const;
    UnitIdTarget targetLocked() const;
    void bind(Lane& lane, const std::string& id, UnitIdHow how, UnitIdNews& news);
    void offerToChosen(const std::string& id, UnitIdNews& news);
    void offerUnscanned(const std::string& id, UnitIdNews& news);
    void release(Lane& lane, UnitIdNews& news);
    void lapseLocked(Clock::time_point now);
    // Adds the target to news when it differs from the last one told.
    void noteTarget(UnitIdNews& news);

    const UnitIdOrder order_;
    mutable std::mutex mutex_;
    std::map<int, Lane> lanes_;
    std::deque<std::string> waitingIds_; // oldest first only
    std::optional<int> chosen_;          // the lane the last fixture scan chose
    Clock::time_point chosenAt_{};
    long long arrivals_ = 0;
    UnitIdTarget told_; // the target last put in news
    // A fixture scan replaced or lapsed since the last news: the next target says so.
    UnitIdTarget::Dropped dropNote_ = UnitIdTarget::Dropped::No;
    LaneTag dropLane_;
};

} // namespace pxr7
