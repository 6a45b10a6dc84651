// The bus as the station sees it. Every open the station makes takes one lock first, so the
// walk's look at who a bridge is never holds a bridge that a lane is about to open, and a lane
// never finds its bridge held by another lane's search. A transfer keeps its bridge open
// without the lock: the walk sees it busy and leaves its lane alone.
#pragma once

#include "bridge_identity.h"
#include "device_port.h"

#include <cstdint>
#include <mutex>
#include <vector>

namespace pxr7 {

class StationBus {
public:
    std::mutex& lock() { return lock_; }

private:
    std::mutex lock_;
};

// The meter leads on the bus now, by identity only: each bridge is opened just long enough to
// read who it is (a bridge held open by someone is skipped), and a lead's location is read
// where the library can tell it. Leads without a serial number, or sharing one, are marked
// serialShared. The caller holds the bus lock.
std::vector<BridgeIdentity> walkMeterLeads();

// Whether found, from a walk, is the physical bridge lane is: the same id and serial number,
// and the same location where both are known.
bool isSameLead(const BridgeIdentity& lane, const BridgeIdentity& found);

enum class Reach {
    Opened,     // port is open on the lead at baud
    NotNow,     // held by someone, or it could not be set up: try again later
    Gone,       // no bridge present is the lead
    CannotTell, // several bridges look like it and nothing tells them apart
};

// Opens the lead where it was last seen, or, if another bridge is there now or none, finds it
// again on the bus (lead.index and its description follow it). The caller holds the bus lock.
Reach openLead(DevicePort& port, BridgeIdentity& lead, std::uint32_t baud);

} // namespace pxr7
