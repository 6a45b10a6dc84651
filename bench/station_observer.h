// What the station tells whoever shows it, from its lanes' threads: lanes coming and going,
// meters arriving and leaving, each run's phases and progress, and each meter's outcome with
// the totals so far. Calls may come from several lanes at once.
#pragma once

#include "meter_run.h"
#include "phase.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pxr7 {

// One lane: the physical bridge it runs on and a number that stays with it while it lasts.
struct LaneTag {
    int number = 0; // 1, 2, ... in the order the lanes appeared
    std::string serial;
    int index = -1; // where the bridge is in the bus order now
    std::optional<std::uint32_t> location;
    bool serialShared = false; // another lead shows the same serial number, or it has none
    std::string name;          // the lead's name in the bench file; "" when none
    std::string unitId;        // the id given to the lane's unit; "" when none
};

// A lane's state between meters.
enum class LaneState {
    Waiting,          // for a meter to answer
    NeedsSetup,       // a factory-fresh lead, left alone without --setup
    SettingUp,        // its settings are being written (--setup)
    LeftAlone,        // its EEPROM is not a meter lead's
    SetupFailed,      // --setup could not write its settings, or they did not hold
    CannotOpen,       // held by another program or the kernel's driver, or no permission: the
                      // reason says which, and what to do
    RemoveMeter,      // the meter has its outcome and has not left yet
    CannotTellApart,  // another lead shows the same serial number (or none) and the driver
                      // cannot tell where each is plugged in: never served
    RecordFailing,    // the record cannot be written: no new meter starts
    NeedsUnitId,      // a meter waits for the operator to type or scan its unit id
    OutOfService,     // it failed meter after meter: no more until the technician takes it back
    MeterNotAVersion, // a meter replies, but not with its version (a NAK, garbled): never served
};

struct UnitIdBinding;
struct UnitIdTarget;

struct StationTotals {
    int ok = 0, current = 0, failed = 0;
};

class StationObserver {
public:
    virtual ~StationObserver() = default;
    virtual void laneAppeared(const LaneTag& lane) = 0;
    virtual void laneGone(const LaneTag& lane) = 0;
    virtual void laneState(const LaneTag& lane, LaneState state) = 0;
    // A state that keeps the lane from its meters, with the reason in words and what to do.
    virtual void laneBlocked(const LaneTag& lane, LaneState state, const std::string& reason) {
        (void)reason;
        laneState(lane, state);
    }
    virtual void meterArrived(const LaneTag& lane, const std::string& version) = 0;
    virtual void phase(const LaneTag& lane, Phase phase, int attempt) = 0;
    virtual void progress(const LaneTag& lane, std::int32_t done, std::int32_t total) = 0;
    // After the meter's record line was written (or could not be: recordProblem says why).
    virtual void outcome(const LaneTag& lane, const MeterRun& meter, const StationTotals& totals,
                         const std::string& recordProblem) = 0;
    // A unit recorded meter_silent now answers on the image's version: it started late. It is
    // the same unit, and its line stays as written.
    virtual void verifiedLate(const LaneTag& lane, const std::string& version) {
        (void)lane;
        (void)version;
    }
    // A first Ctrl+C: no new meter starts, the ones under way go on to their outcome.
    virtual void draining() {}
    // Unit ids: one the operator gave was refused (why says so, for the operator), or the ids
    // waiting for a meter changed (oldest first). Called from the reader of the keys too.
    virtual void unitIdRefused(const std::string& id, const std::string& why) {
        (void)id;
        (void)why;
    }
    virtual void unitIdsWaiting(const std::vector<std::string>& ids) { (void)ids; }
    // An id went to a lane's meter (unit_id_news.h); one was let go because its meter left
    // before it was served (lane.unitId); the next id's target moved; a badge named the
    // operator from now on.
    virtual void unitIdBound(const UnitIdBinding& binding) { (void)binding; }
    virtual void unitIdReleased(const LaneTag& lane) { (void)lane; }
    virtual void unitIdTarget(const UnitIdTarget& target) { (void)target; }
    virtual void operatorChanged(const std::string& name) { (void)name; }
};

} // namespace pxr7
