// The start's way to the meter's bridge: which bridge it opens, the look at who that bridge is
// before anything is changed on it, and the check of its EEPROM.
#include "upgrade.h"

#include <new>

namespace pxr7 {

// Opens bridge index and keeps it open, configured for the transfer, if it is the target;
// otherwise closes it again and returns otherwise.
UpgradeResult Upgrade::openIfReached(int index, UpgradeResult otherwise) {
    if (port_->open(index) != FT_OK) {
        return UpgradeResult::PortError;
    }
    // Who it is before anything, even its line settings, is changed.
    BridgeIdentity identity;
    if (port_->readIdentity(identity) != FT_OK || !reachedTarget(target_, identity)) {
        port_->close();
        return otherwise;
    }
    openedSerial_ = identity.serialNumber;
    return configureOpenedBridge();
}

UpgradeResult Upgrade::configureOpenedBridge() {
    if (port_->configure(kUpgradeBaud, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE) != FT_OK) {
        return UpgradeResult::PortError;
    }
    if (latencyMs_ != 0) {
        port_->setLatencyTimer(latencyMs_); // a speed-up only: its status does not matter
    }
    return UpgradeResult::Completed;
}

// The meter shown is looked for where it was; if another bridge is there now (one before it
// was unplugged, say), it is followed by its serial number only if no other bridge carries
// that number. Otherwise the user reconnects and starts again.
UpgradeResult Upgrade::openShownMeter() {
    const UpgradeResult there = openIfReached(target_.index, UpgradeResult::NotAMeterLead);
    if (there != UpgradeResult::NotAMeterLead) {
        return there;
    }
    const SerialPresence presence = findSerialOnBus(target_.serialNumber);
    switch (presence.count) {
    case SerialPresence::Count::Unique:
        return openIfReached(presence.index, UpgradeResult::PortError);
    case SerialPresence::Count::Absent:
        return UpgradeResult::PortError;
    case SerialPresence::Count::Unsure:
        break;
    }
    return UpgradeResult::LeadReprogrammed;
}

// The lead the warning's search set up has re-enumerated: it is upgraded only if its serial
// number is unique on the bus and the bridge carrying it is now a set-up lead.
UpgradeResult Upgrade::openReprogrammedLead() {
    const SerialPresence presence = findSerialOnBus(target_.serialNumber);
    if (presence.count != SerialPresence::Count::Unique) {
        return UpgradeResult::LeadReprogrammed;
    }
    return openIfReached(presence.index, UpgradeResult::LeadReprogrammed);
}

UpgradeResult Upgrade::openMeterLead() {
    switch (target_.kind) {
    case StartTarget::Kind::BridgeZero:
        return openIfReached(0, UpgradeResult::NotAMeterLead);
    case StartTarget::Kind::Meter:
        return openShownMeter();
    case StartTarget::Kind::ReprogrammedLead:
        return openReprogrammedLead();
    case StartTarget::Kind::Nothing:
        break;
    }
    // A lead is re-enumerating and the bridges behind it have moved: the user reconnects and
    // starts again rather than have an index point at another meter.
    return UpgradeResult::LeadReprogrammed;
}

// Brings the meter's bridge up for the transfer and checks its EEPROM.
UpgradeResult Upgrade::openBridge() {
    if (!port_) {
        port_.reset(new (std::nothrow) DevicePort());
        if (!port_) {
            return UpgradeResult::OutOfMemory;
        }
    }
    port_->close();
    openedSerial_.clear();
    const UpgradeResult opened = openMeterLead();
    if (opened != UpgradeResult::Completed) {
        return opened;
    }
    port_->ensureBridgeConfig(true);
    if (port_->configChanged != 0) {
        // The bridge is re-enumerating with its corrected settings; the dead handle is closed
        // by the next start.
        return UpgradeResult::LeadReprogrammed;
    }
    switch (port_->eepromCheck) {
    case DevicePort::EepromCheck::ProgramFailed:
        port_->close();
        return UpgradeResult::LeadSetupFailed;
    case DevicePort::EepromCheck::ForeignIds:
    case DevicePort::EepromCheck::StringsCut:
        port_->close();
        return UpgradeResult::NotAMeterLead;
    default:
        return UpgradeResult::Completed;
    }
}

} // namespace pxr7
