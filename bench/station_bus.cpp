#include "station_bus.h"

#include "device_bus.h"
#include "diagnosis.h"
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

UnopenedBridge unopenedAt(int index) {
    UnopenedBridge bridge;
    bridge.index = index;
    bridge.location = readBridgeLocation(index);
    BridgeReport report;
    report.identity.index = index;
    bridge.reason = describeBusy(report);
    return bridge;
}

} // namespace

std::vector<BridgeIdentity> walkMeterLeads(const DeviceBus& bus,
                                           std::vector<UnopenedBridge>& unopened) {
    std::vector<BridgeIdentity> leads;
    const std::uint32_t bridges = countBridges();
    for (std::uint32_t i = 0; i < bridges; ++i) {
        const int index = static_cast<int>(i);
        BridgeIdentity found;
        if (!probeBridge(index, found)) {
            if (!bus.holds(index)) {
                unopened.push_back(unopenedAt(index));
            }
        } else if (isMeterLead(found)) {
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
