#include "start_target.h"

#include "eeprom_rules.h"

namespace pxr7 {

StartTarget targetAfterSearch(const MeterSearch& search) {
    StartTarget target;
    if (search.leadReprogrammed) {
        // The bridges behind a cycled lead move while it re-enumerates: only that one lead,
        // told apart by a serial number, is safe to reach, and only if no meter was shown.
        const bool oneLead = search.reprogrammedLeads.size() == 1;
        if (!search.meters.empty() || !oneLead ||
            search.reprogrammedLeads.front().serialNumber.empty()) {
            target.kind = StartTarget::Kind::Nothing;
            return target;
        }
        target.kind = StartTarget::Kind::ReprogrammedLead;
        target.serialNumber = search.reprogrammedLeads.front().serialNumber;
        return target;
    }
    if (!search.meters.empty()) {
        const MeterInfo& meter = search.meters.front();
        target.kind = StartTarget::Kind::Meter;
        target.index = meter.index;
        target.serialNumber = meter.serialNumber;
        target.description = meter.description;
    }
    return target;
}

StartTarget chosenTarget(const std::string& serialNumber, int index) {
    StartTarget target;
    target.kind = StartTarget::Kind::Meter;
    target.index = index >= 0 ? index : 0;
    target.serialNumber = serialNumber;
    return target;
}

bool reachedTarget(const StartTarget& target, const BridgeIdentity& opened) {
    if (!isMeterLead(opened)) {
        return false;
    }
    switch (target.kind) {
    case StartTarget::Kind::BridgeZero:
        return true;
    case StartTarget::Kind::Meter:
        return opened.serialNumber == target.serialNumber &&
               (target.description.empty() || opened.description == target.description);
    case StartTarget::Kind::ReprogrammedLead:
        return opened.serialNumber == target.serialNumber &&
               sameDescription(opened.description, kRequiredBridgeDescription);
    case StartTarget::Kind::Nothing:
        break;
    }
    return false;
}

SerialPresence findSerialOnBus(const std::string& serialNumber) {
    SerialPresence presence;
    if (serialNumber.empty()) {
        presence.count = SerialPresence::Count::Unsure;
        return presence;
    }
    int matches = 0;
    bool unsure = false;
    const std::uint32_t bridges = countBridges();
    for (std::uint32_t i = 0; i < bridges; ++i) {
        BridgeIdentity identity;
        if (!probeBridge(static_cast<int>(i), identity)) {
            unsure = true; // it may carry the same serial number
        } else if (identity.serialNumber == serialNumber) {
            ++matches;
            presence.index = static_cast<int>(i);
        }
    }
    if (unsure || matches > 1) {
        presence.count = SerialPresence::Count::Unsure;
    } else if (matches == 1) {
        presence.count = SerialPresence::Count::Unique;
    }
    return presence;
}

} // namespace pxr7
