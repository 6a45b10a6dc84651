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

Reach openLead(DevicePort& port, BridgeIdentity& lead, std::uint32_t baud) {
    switch (openSameBridge(port, lead, baud)) {
    case OpenCheck::Opened:
        return Reach::Opened;
    case OpenCheck::Busy:
        return Reach::NotNow;
    case OpenCheck::Gone:
    case OpenCheck::NotTheSame:
        break;
    }
    const FindResult found = findSameBridge(lead);
    if (found.outcome != FindOutcome::Found) {
        return found.outcome == FindOutcome::NotFound ? Reach::Gone : Reach::CannotTell;
    }
    BridgeIdentity now;
    if (!probeBridge(found.index, now)) {
        return Reach::NotNow;
    }
    // Its description changes with its settings (a lead set up while the station ran).
    lead.index = found.index;
    lead.description = now.description;
    return openSameBridge(port, lead, baud) == OpenCheck::Opened ? Reach::Opened : Reach::NotNow;
}

} // namespace pxr7
