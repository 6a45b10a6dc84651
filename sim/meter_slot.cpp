#include "meter_slot.h"

#include <algorithm>

namespace sim {

MeterSlot::MeterSlot(const BridgeScenario& config, const std::string& version, ReceivePath& toHost,
                     Micros origin, UnitLog* units, int bridge)
    : config_(config), version_(version), toHost_(toHost), units_(units), bridge_(bridge),
      lastVersion_(version), stopOnceArmed_(config.stopOnceAfterRecord >= 0) {
    if (config_.meterWindows.empty()) {
        notes_ = UnitNotes(units_, bridge_, 0);
        notes_.note(origin, "attached");
        meter_ = std::make_unique<Meter>(config_, unitVersion(0), toHost_, notes_);
        return;
    }
    // Every unit starts on the scenario's version, whatever an earlier one was upgraded to.
    version_ = config_.version;
    lastVersion_ = version_;
    for (std::size_t i = 0; i < config_.meterWindows.size(); ++i) {
        const auto& window = config_.meterWindows[i];
        edges_.push_back(Edge{origin + millis(window.first), static_cast<int>(i)});
        edges_.push_back(Edge{origin + millis(window.second), -1});
    }
}

Micros MeterSlot::nextEdge() const {
    return nextEdge_ < edges_.size() ? edges_[nextEdge_].at : kNever;
}

void MeterSlot::passEdge(bool dtrAsserted) {
    const Edge edge = edges_[nextEdge_++];
    if (meter_) {
        // Taken off: what it had still to send never comes.
        lastVersion_ = meter_->version();
        toHost_.cancelAfter(edge.at);
        meter_.reset();
        notes_.note(edge.at, "detached");
    }
    if (edge.unit >= 0) {
        attach(edge.unit, edge.at, dtrAsserted);
    }
}

void MeterSlot::attach(int unit, Micros at, bool dtrAsserted) {
    BridgeScenario unitConfig = config_;
    if (unit > 0 && !unitConfig.capturePath.empty()) {
        unitConfig.capturePath += "." + std::to_string(unit);
    }
    notes_ = UnitNotes(units_, bridge_, unit);
    notes_.note(at, "attached");
    meter_ = std::make_unique<Meter>(unitConfig, unitVersion(unit), toHost_, notes_);
    if (dtrAsserted) {
        meter_->setDtr(at, true);
    }
}

std::string MeterSlot::unitVersion(int unit) const {
    const std::vector<long>& upgraded = config_.upgradedWindows;
    if (std::find(upgraded.begin(), upgraded.end(), unit) != upgraded.end()) {
        return config_.versionAfterUpgrade;
    }
    return config_.versionPerUnit ? version_ + " u" + std::to_string(unit) : version_;
}

void MeterSlot::receive(Micros at, std::uint8_t byte, const LineFormat& line) {
    if (meter_) {
        meter_->receive(at, byte, line);
    }
}

void MeterSlot::setDtr(Micros at, bool asserted) {
    if (!meter_) {
        return;
    }
    const bool wasHeld = meter_->held();
    meter_->setDtr(at, asserted);
    if (wasHeld && !asserted && meter_->inBootLoader()) {
        meter_->stopThisTransferAfter(stopOnceArmed_ ? config_.stopOnceAfterRecord : -1);
        stopOnceArmed_ = false;
    }
}

std::string MeterSlot::version() const {
    return meter_ ? meter_->version() : lastVersion_;
}

bool MeterSlot::takeVersionChanged() {
    return meter_ && meter_->takeVersionChanged();
}

Micros MeterSlot::readsFailAt() const {
    return meter_ ? meter_->readsFailAt() : kNever;
}

Micros MeterSlot::readsHangAt() const {
    return meter_ ? meter_->readsHangAt() : kNever;
}

} // namespace sim
