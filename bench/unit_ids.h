// Unit ids the operator types or scans, and the lanes whose meters wait for one. An id goes to
// the lane whose meter arrived first and has none yet; one given while no meter waits waits
// itself, in order, for the next meter to arrive. An id is bound for one unit only. The lanes'
// threads and the reader of the operator's keys share it, so every call takes its lock.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace pxr7 {

constexpr std::size_t kLongestUnitId = 64;

enum class UnitIdRefusal { None, Empty, TooLong, ControlCharacter, OnALane, AlreadyWaiting };

// Why an id was refused, for the operator: "" for None.
const char* unitIdRefusalText(UnitIdRefusal refusal);

// Whether id may be an id at all, whatever is bound or waiting.
UnitIdRefusal checkUnitIdText(const std::string& id);

class UnitIds {
public:
    struct Offer {
        UnitIdRefusal refusal = UnitIdRefusal::None;
        int lane = 0; // the lane it was bound to; 0: it waits (or was refused)
    };

    // The operator typed an id (blanks around it dropped): bound to the first lane in line,
    // waiting, or refused.
    Offer offer(const std::string& typed);
    // A meter arrived on lane and needs an id: a waiting one is bound to it and returned;
    // otherwise the lane joins the line (or keeps its place) and gets nothing yet.
    std::optional<std::string> meterArrived(int lane);
    // The id bound to lane, if any.
    std::optional<std::string> idFor(int lane) const;
    // The lane's meter left unserved (or the lane ended): it leaves the line, and an id already
    // bound to it is not used up but goes to the next lane in line, or back to the front of the
    // waiting ids. True when the waiting ids changed.
    bool meterLeft(int lane);
    // The lane's unit ended: its id is used up.
    void unitEnded(int lane);
    // The ids waiting for a meter, oldest first.
    std::vector<std::string> waiting() const;

private:
    bool known(const std::string& id) const;
    void give(const std::string& id, bool toFront);

    mutable std::mutex mutex_;
    std::deque<std::string> waitingIds_;
    std::deque<int> waitingLanes_;
    std::map<int, std::string> bound_; // lane -> id
};

} // namespace pxr7
