// One lane of the station: one meter lead, its own thread. It asks the lead for a meter at
// least every 0.4 s and follows the unit rules (unit_rules.h): a meter that answers on a lane
// waiting for one is a new unit and goes through the meter pipeline (meter_job.h), recorded
// current or upgraded, verified and retried; the lane then waits for it to leave, so an
// attached meter is never served twice. A factory-fresh lead is set up only if the station was
// told to; otherwise it is shown as needing setup and left alone. With unit ids on, a meter
// is served only once its lane has an id (unit_ids.h); one that leaves before was never a unit.
#pragma once

#include "station_bus.h"
#include "station_shared.h"
#include "unit_rules.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>

namespace pxr7 {

class StationLane {
public:
    StationLane(StationShared& shared, const BridgeIdentity& lead, int number)
        : shared_(shared), lead_(lead), number_(number) {}

    // The lane's thread: until its lead leaves the bus or the station ends.
    void run();
    bool finished() const { return finished_.load(); }
    // Whether found (from a walk) is this lane's lead. The caller holds the bus lock.
    bool isLead(const BridgeIdentity& found) const { return isSameLead(lead_, found); }
    // Whether the lead was last seen at this location (where both are known) or else at this
    // index. The caller holds the bus lock.
    bool sitsAt(int index, std::optional<std::uint32_t> location) const {
        return lead_.location && location ? *lead_.location == *location : lead_.index == index;
    }

private:
    enum class Start { Ready, LeaveAlone, Gone, Ended };

    LaneTag tag() const;
    Start prepare();
    Start decide(DevicePort::EepromCheck check);
    bool setUpNow();
    bool idleUntilGone();
    // Returns true when the lead left the bus (or can no longer be told apart).
    bool serveMeters();
    void heard(Asked asked, const std::string& version);
    void blockedWhileBusy();
    // A meter that replies, but never with its version, is shown so after a while.
    void countNotAVersion(Asked asked);
    void serveUnits(const std::string& version);
    void serveFrom(const std::string& version);
    std::optional<std::string> serveOne(const std::string& version);
    // With unit ids on, whether the unit has its id; otherwise it waits for one.
    bool haveUnitId();
    void waitForUnitId(bool answeredNow);
    // The meter that waited for its id left (or was swapped): its place and its id go.
    void meterLeftUnserved();
    // The unit ended (or was never started): its id is used up.
    void endUnitId();
    bool gone(Asked asked);
    // Counts failures in a row; at the bench file's number the lane goes out of service.
    void countOutcome(const MeterRun& run);
    // Out of service: true while it stays so (a meter that comes meanwhile is left alone);
    // false once it was taken back.
    bool stillOutOfService(UnitPresence::Heard heard, const std::string& version);
    unsigned takeBacks() const;
    // Waits until due, or less if the station ends; false if it ended.
    bool waitUntil(std::chrono::steady_clock::time_point due) const;

    StationShared& shared_;
    // Written only by the lane's thread, and only while it holds the bus lock.
    BridgeIdentity lead_;
    int number_;
    int misses_ = 0;          // asks in a row that found no lead
    int busyAsks_ = 0;        // asks in a row that found the lead held by someone
    int notAVersionAsks_ = 0; // asks in a row whose reply was no version
    UnitPresence presence_;
    bool showingOutcome_ = false; // the last unit's outcome stays shown until it leaves
    bool awaitingId_ = false;     // a meter is there, unserved, waiting for its unit id
    std::string unitId_;          // the id of the unit being served
    int failuresInARow_ = 0;
    bool outOfService_ = false;
    unsigned takeBacksSeen_ = 0; // the take-backs counted when it went out of service
    std::atomic<bool> finished_{false};
};

} // namespace pxr7
