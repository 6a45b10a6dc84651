// The bus as the station's walk sees it: every meter lead present, by identity only.
#pragma once

#include "bridge_identity.h"

#include <optional>
#include <string>
#include <vector>

namespace pxr7 {

class DeviceBus;

// A bridge the walk could not open to see who it is, and that we do not hold ourselves.
struct UnopenedBridge {
    int index = -1;
    std::optional<std::uint32_t> location;
    std::string reason; // why, and what to do, in words
};

// The meter leads on the bus now, by identity only: each bridge is opened just long enough to
// read who it is (a bridge held open by someone is skipped), and a lead's location is read
// where the library can tell it. Leads without a serial number, or sharing one, are marked
// serialShared. The caller holds the bus lock.
// Bridges that could not be opened, except those bus holds for us, go to unopened.
std::vector<BridgeIdentity> walkMeterLeads(const DeviceBus& bus,
                                           std::vector<UnopenedBridge>& unopened);

// Whether found, from a walk, is the physical bridge lane is: the same id and serial number,
// and the same location where both are known.
bool isSameLead(const BridgeIdentity& lane, const BridgeIdentity& found);

// A lead the station cannot find again for sure: its serial number is shared (or empty) and
// the driver tells no location.
bool cannotTellApart(const BridgeIdentity& lead);

} // namespace pxr7
