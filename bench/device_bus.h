// The bus as the meter pipeline reaches it through the driver. Every open takes one lock
// first, so a look at who a bridge is never holds a bridge that a lane is about to open, and
// a lane never finds its bridge held by another lane's search. A transfer keeps its bridge open
// without the lock: other lanes' looks see it busy and leave it alone.
#pragma once

#include "meter_bus.h"

#include <cstdint>
#include <mutex>
#include <set>

namespace pxr7 {

class DevicePort;

enum class Reach {
    Opened,     // port is open on the lead at baud (kLookOnly: open, nothing set)
    NotNow,     // held by someone, or it could not be set up: try again later
    Gone,       // no bridge present is the lead
    CannotTell, // several bridges look like it and nothing tells them apart
};

class DeviceBus : public MeterBus {
public:
    std::mutex& lock() { return lock_; }

    Asked ask(BridgeIdentity& lead, std::string& version) override;
    Outcome transfer(const BridgeIdentity& lead, LaneObserver& lane, const StopCheck& stop,
                     MeterRun& run) override;

    // Whether we hold the bridge at index open now (a transfer, or a look at a lead after the
    // lock was let go): a look at the bus finds it busy, and that is no reason to report it.
    bool holds(int index) const;

    // Marks an index held by us for as long as it lives. Made while the bus lock is held.
    class Holding {
    public:
        Holding(DeviceBus& bus, int index);
        ~Holding();
        Holding(const Holding&) = delete;
        Holding& operator=(const Holding&) = delete;

    private:
        DeviceBus& bus_;
        int index_;
    };

private:
    std::mutex lock_;
    mutable std::mutex heldLock_;
    std::multiset<int> held_; // indexes we hold open (transfers, looks at a lead)
};

// Opens the lead where it was last seen, or, if another bridge is there now or none, finds it
// again on the bus (lead.index and its description follow it). A lead without a location is
// always found again by a look at every bridge first, so that neither another bridge that took
// its index nor a twin is ever opened for it. The caller holds the bus lock.
Reach openLead(DevicePort& port, BridgeIdentity& lead, std::uint32_t baud);

} // namespace pxr7
