// One lane of the station: one meter lead, its own thread. It asks the lead for a meter at
// least every 0.5 s; a meter that answers with the image's version is recorded current and
// left alone; any other is upgraded and verified, a retryable failure (no handshake, transfer
// stopped, no answer afterwards) tried again up to the retries allowed. Then the lane waits
// for the meter to leave (a second without an answer) before the next one that answers counts
// as a new meter, so an attached meter is never upgraded twice. A factory-fresh lead is set up
// only if the station was told to; otherwise it is shown as needing setup and left alone.
#pragma once

#include "station_shared.h"

#include <atomic>
#include <chrono>
#include <mutex>
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

private:
    enum class Asked { Answered, Silent, Gone };
    enum class Start { Ready, LeaveAlone, Gone, Ended };

    LaneTag tag() const;
    Asked ask(std::string& version);
    Start prepare();
    Start decide(DevicePort::EepromCheck check);
    bool setUpNow();
    bool idleUntilGone();
    bool serveMeters();
    // Returns whether the meter ended ok or current.
    bool serveMeter(const std::string& version);
    void upgradeWithRetries(StationMeter& meter, const BridgeReport& lead);
    int attempt(MeterRun& run, int number);
    int verify(MeterRun& run, int number);
    bool refindLead();
    // Waits until due, or less if the station ends; false if it ended.
    bool waitUntil(std::chrono::steady_clock::time_point due) const;

    StationShared& shared_;
    // Written only by the lane's thread, and only while it holds the bus lock.
    BridgeIdentity lead_;
    int number_;
    int misses_ = 0; // asks in a row that found no lead
    std::atomic<bool> finished_{false};
};

} // namespace pxr7
