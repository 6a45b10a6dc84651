// What came of a scan, an id or a lane's meter for the unit ids (unit_ids.h): bindings, ids let
// go, a refusal with its reason, where the next id goes now, a new operator. The station tells
// the news to its observer in one place, so the terminal, --json and the dashboard hear alike.
#pragma once

#include "station_observer.h"

#include <optional>
#include <string>
#include <vector>

namespace pxr7 {

enum class UnitIdRefusal {
    None,
    Empty,
    TooLong,
    ControlCharacter,
    NotUtf8,        // bytes that are not UTF-8 text
    OnALane,        // the id is bound to a meter on a lane already
    AlreadyWaiting, // the id waits for a meter already
    NoSuchLane,     // a fixture scan names no lane on the bench
    TwoLanes,       // a fixture scan names two lanes
    ScanTheFixture, // several meters wait and no fixture was scanned
    NoMeterWaits,   // no meter waits and no fixture was scanned
    LaneHasId,      // the scanned fixture's meter (or its next one) has an id already
};

// Why something was refused, for the operator: "" for None.
const char* unitIdRefusalText(UnitIdRefusal refusal);

enum class UnitIdHow { ScannedLane, OnlyOneWaiting, OldestFirst };
// "scanned_lane", "only_one_waiting", "oldest_first".
const char* unitIdHowCode(UnitIdHow how);

// Where the next id goes.
struct UnitIdTarget {
    enum class Kind {
        NoneWaiting, // no meter waits: an id is refused (fixture) or waits (oldest first)
        Scanned,     // the scanned fixture
        OnlyOne,     // the one meter waiting
        Oldest,      // oldest first: the meter that has waited longest
        ScanFirst,   // several meters wait: scan the fixture first
    };
    // Why a fixture scan stopped being the target: another scan replaced it, or it lapsed.
    enum class Dropped { No, Replaced, Lapsed };

    Kind kind = Kind::NoneWaiting;
    LaneTag lane;    // Scanned, OnlyOne, Oldest
    int waiting = 0; // meters waiting for an id
    Dropped dropped = Dropped::No;
    LaneTag droppedLane; // the fixture whose scan was dropped

    bool sameAs(const UnitIdTarget& other) const;
};

// "none_waiting", "scanned", "only_one_waiting", "oldest_first", "scan_fixture".
const char* unitIdTargetCode(UnitIdTarget::Kind kind);

struct UnitIdBinding {
    LaneTag lane; // with its unitId
    UnitIdHow how = UnitIdHow::ScannedLane;
};

struct UnitIdNews {
    std::vector<UnitIdBinding> bound;
    std::vector<LaneTag> released; // an id whose meter left before it was served (unitId)
    std::string refusedText;       // what was refused, when refusal is not None
    UnitIdRefusal refusal = UnitIdRefusal::None;
    std::optional<UnitIdTarget> target; // when it moved
    bool waitingChanged = false;        // the ids waiting for a meter (oldest first)
    std::optional<std::string> newOperator;
};

// Tells the observer the news, waiting the ids still waiting.
void tellUnitIdNews(StationObserver& observer, const UnitIdNews& news,
                    const std::vector<std::string>& waiting);

} // namespace pxr7
