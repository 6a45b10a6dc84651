#include "station_bus.h"

#include "same_bridge.h"

namespace pxr7 {

namespace {

void markShared(std::vector<BridgeIdentity>& leads) {
    for (BridgeIdentity& lead : leads) {
        int alike = 0;
        for (const BridgeIdentity& other : leads) {
            alike += other.serialNumber == lead.serialNumber ? 1 : 0;
        }
        lead.serialShared = lead.serialNumber.empty() || alike > 1;
    }
}

} // namespace

std::vector<BridgeIdentity> walkMeterLeads() {
    std::vector<BridgeIdentity> leads;
    const std::uint32_t bridges = countBridges();
    for (std::uint32_t i = 0; i < bridges; ++i) {
        BridgeIdentity found;
        if (probeBridge(static_cast<int>(i), found) && isMeterLead(found)) {
            found.location = readBridgeLocation(found.index);
            leads.push_back(found);
        }
    }
    markShared(leads);
    return leads;
}

bool isSameLead(const BridgeIdentity& lane, const BridgeIdentity& found) {
    if (found.id != lane.id || found.serialNumber != lane.serialNumber) {
        return false;
    }
    return !lane.location || !found.location || *lane.location == *found.location;
}

bool cannotTellApart(const BridgeIdentity& lead) {
    return !serialTellsApart(lead) && !lead.location;
}

} // namespace pxr7
