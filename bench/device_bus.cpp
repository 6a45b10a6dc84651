#include "device_bus.h"

#include "diagnosis.h"
#include "same_bridge.h"
#include "target_choice.h"
#include "transfer_host.h"
#include "upgrade_outcomes.h"
#include "version_query.h"

#include <optional>

namespace pxr7 {

namespace {

// Where the driver tells locations, the lead's own location finds it, whether or not a twin
// showed up since the lead was first seen; otherwise its serial number, if nothing shares it.
FindResult findLead(const BridgeIdentity& lead) {
    if (!lead.location) {
        return findSameBridge(lead);
    }
    BridgeIdentity byPlace = lead;
    byPlace.serialShared = true;
    return findSameBridge(byPlace);
}

Reach refind(DevicePort& port, BridgeIdentity& lead, std::uint32_t baud) {
    const FindResult found = findLead(lead);
    if (found.outcome == FindOutcome::NotFound) {
        // Held by someone where nothing rules out that it is the lead: busy, not gone.
        return found.maybeHeld ? Reach::NotNow : Reach::Gone;
    }
    if (found.outcome != FindOutcome::Found) {
        return Reach::CannotTell;
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

// The bridge at the lead's index could not be opened: held by someone, or another lead holds
// the index now. The location, read without opening anything, tells which where it is known.
Reach whenHeld(DevicePort& port, BridgeIdentity& lead, std::uint32_t baud) {
    if (!lead.location || readBridgeLocation(lead.index) == lead.location) {
        return Reach::NotNow;
    }
    const Reach again = refind(port, lead, baud);
    return again == Reach::Opened || again == Reach::Gone ? again : Reach::NotNow;
}

// Lets the bus lock go at the transfer's first word, when its bridge is open (or the start has
// failed), and passes every word on.
class OpenedObserver : public LaneObserver {
public:
    OpenedObserver(LaneObserver& lane, std::unique_lock<std::mutex>& hold)
        : lane_(lane), hold_(hold) {}
    void phase(Phase phase) override {
        release();
        lane_.phase(phase);
    }
    void progress(std::int32_t done, std::int32_t total) override {
        release();
        lane_.progress(done, total);
    }
    void transferEnded(const UpgradeOutcome& outcome) override {
        release();
        lane_.transferEnded(outcome);
    }
    void release() {
        if (hold_.owns_lock()) {
            hold_.unlock();
        }
    }

private:
    LaneObserver& lane_;
    std::unique_lock<std::mutex>& hold_;
};

} // namespace

DeviceBus::Holding::Holding(DeviceBus& bus, int index) : bus_(bus), index_(index) {
    std::lock_guard<std::mutex> hold(bus_.heldLock_);
    bus_.held_.insert(index_);
}

DeviceBus::Holding::~Holding() {
    std::lock_guard<std::mutex> hold(bus_.heldLock_);
    bus_.held_.erase(bus_.held_.find(index_));
}

bool DeviceBus::holds(int index) const {
    std::lock_guard<std::mutex> hold(heldLock_);
    return held_.count(index) > 0;
}

Reach openLead(DevicePort& port, BridgeIdentity& lead, std::uint32_t baud) {
    if (!lead.location) {
        // Only a look at every bridge finds it for sure: its index may belong to another bridge
        // now, and a twin plugged in since makes it ambiguous.
        return refind(port, lead, baud);
    }
    switch (openSameBridge(port, lead, baud)) {
    case OpenCheck::Opened:
        return Reach::Opened;
    case OpenCheck::Busy:
        return whenHeld(port, lead, baud);
    case OpenCheck::Gone:
    case OpenCheck::NotTheSame:
        break;
    }
    return refind(port, lead, baud);
}

Asked DeviceBus::ask(BridgeIdentity& lead, std::string& version) {
    DevicePort port;
    Reach reach;
    std::optional<Holding> held;
    {
        std::lock_guard<std::mutex> hold(lock_);
        reach = openLead(port, lead, kVersionQueryBaud);
        if (reach == Reach::Opened) {
            held.emplace(*this, lead.index);
        }
    }
    switch (reach) {
    case Reach::Gone:
        return Asked::Gone;
    case Reach::CannotTell:
        return Asked::CannotTell;
    case Reach::NotNow:
        return Asked::Busy;
    case Reach::Opened:
        break;
    }
    port.setLatencyTimer(kBenchLatencyMs);
    char text[kVersionTextSize];
    VersionReply reply = VersionReply::Nothing;
    const bool answered = queryMeterVersion(port, text, ReplyReading::ExactFrame, &reply);
    port.close();
    if (answered) {
        version = text;
    }
    return answered                             ? Asked::Answered
           : reply == VersionReply::NotAVersion ? Asked::NotAVersion
                                                : Asked::Silent;
}

Outcome DeviceBus::transfer(const BridgeIdentity& lead, LaneObserver& lane, const StopCheck& stop,
                            MeterRun& run) {
    std::unique_lock<std::mutex> hold(lock_);
    // Found again just before the pulse: a bridge plugged in ahead of it since the last ask
    // has moved it, and a twin must never get its reset.
    const FindResult found = findLead(lead);
    if (found.outcome == FindOutcome::NotFound && found.maybeHeld) {
        run.diagnosis = "pxr7: another program holds the lead: nothing was sent.";
        return Outcome::Busy;
    }
    if (found.outcome != FindOutcome::Found) {
        run.diagnosis = found.outcome == FindOutcome::NotFound
                            ? "pxr7: the lead left the bus before the upgrade could start."
                            : "pxr7: another lead shows the same serial number and nothing tells "
                              "them apart: nothing was sent. Connect one lead at a time.";
        return Outcome::PortError;
    }
    Holding held(*this, found.index);
    OpenedObserver observer(lane, hold);
    TransferHost host(observer);
    Upgrade upgrade(host);
    upgrade.chooseImage(IMAGE_RESOURCE_ID);
    upgrade.aimAt(lead.serialNumber, found.index);
    upgrade.useLatencyTimer(kBenchLatencyMs);
    upgrade.start([] { return true; });
    observer.release();
    if (upgrade.progress().active && !host.runTimers(upgrade, stop)) {
        // Stopped: the meter is let out of reset and the port closed before the program ends.
        upgrade.stopTimers();
        if (DevicePort* port = upgrade.port()) {
            port->clearDtr();
            port->close();
        }
        run.recordsSent = upgrade.state().nextRecord;
        run.recordsTotal = upgrade.state().recordCount;
        return stop.outcome();
    }
    const UpgradeOutcome& outcome = host.outcome();
    run.recordsSent =
        outcome.result == UpgradeResult::Completed ? outcome.recordCount : outcome.nextRecord;
    run.recordsTotal = outcome.recordCount;
    run.diagnosis = diagnose(outcome);
    return outcomeOfUpgrade(outcome);
}

} // namespace pxr7
