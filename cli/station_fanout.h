// The station told to two at once: the terminal's view and, when it is served, the dashboard.
#pragma once

#include "station_observer.h"

namespace pxr7 {

class StationFanout : public StationObserver {
public:
    // second may be nullptr: only first hears.
    StationFanout(StationObserver& first, StationObserver* second)
        : first_(first), second_(second) {}

    void laneAppeared(const LaneTag& lane) override {
        first_.laneAppeared(lane);
        if (second_ != nullptr) {
            second_->laneAppeared(lane);
        }
    }
    void laneGone(const LaneTag& lane) override {
        first_.laneGone(lane);
        if (second_ != nullptr) {
            second_->laneGone(lane);
        }
    }
    void laneState(const LaneTag& lane, LaneState state) override {
        first_.laneState(lane, state);
        if (second_ != nullptr) {
            second_->laneState(lane, state);
        }
    }
    void laneBlocked(const LaneTag& lane, LaneState state, const std::string& reason) override {
        first_.laneBlocked(lane, state, reason);
        if (second_ != nullptr) {
            second_->laneBlocked(lane, state, reason);
        }
    }
    void meterArrived(const LaneTag& lane, const std::string& version) override {
        first_.meterArrived(lane, version);
        if (second_ != nullptr) {
            second_->meterArrived(lane, version);
        }
    }
    void phase(const LaneTag& lane, Phase phase, int attempt) override {
        first_.phase(lane, phase, attempt);
        if (second_ != nullptr) {
            second_->phase(lane, phase, attempt);
        }
    }
    void progress(const LaneTag& lane, std::int32_t done, std::int32_t total) override {
        first_.progress(lane, done, total);
        if (second_ != nullptr) {
            second_->progress(lane, done, total);
        }
    }
    void outcome(const LaneTag& lane, const MeterRun& meter, const StationTotals& totals,
                 const std::string& recordProblem) override {
        first_.outcome(lane, meter, totals, recordProblem);
        if (second_ != nullptr) {
            second_->outcome(lane, meter, totals, recordProblem);
        }
    }
    void verifiedLate(const LaneTag& lane, const std::string& version) override {
        first_.verifiedLate(lane, version);
        if (second_ != nullptr) {
            second_->verifiedLate(lane, version);
        }
    }
    void draining() override {
        first_.draining();
        if (second_ != nullptr) {
            second_->draining();
        }
    }
    void unitIdRefused(const std::string& id, const std::string& why) override {
        first_.unitIdRefused(id, why);
        if (second_ != nullptr) {
            second_->unitIdRefused(id, why);
        }
    }
    void unitIdsWaiting(const std::vector<std::string>& ids) override {
        first_.unitIdsWaiting(ids);
        if (second_ != nullptr) {
            second_->unitIdsWaiting(ids);
        }
    }

    void unitIdBound(const UnitIdBinding& binding) override {
        first_.unitIdBound(binding);
        if (second_ != nullptr) {
            second_->unitIdBound(binding);
        }
    }
    void unitIdReleased(const LaneTag& lane) override {
        first_.unitIdReleased(lane);
        if (second_ != nullptr) {
            second_->unitIdReleased(lane);
        }
    }
    void unitIdTarget(const UnitIdTarget& target) override {
        first_.unitIdTarget(target);
        if (second_ != nullptr) {
            second_->unitIdTarget(target);
        }
    }
    void operatorChanged(const std::string& name) override {
        first_.operatorChanged(name);
        if (second_ != nullptr) {
            second_->operatorChanged(name);
        }
    }

private:
    StationObserver& first_;
    StationObserver* second_;
};

} // namespace pxr7
