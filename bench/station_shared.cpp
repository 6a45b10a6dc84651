#include "station_shared.h"

#include "outcome_tally.h"

namespace pxr7 {

bool StationShared::draining() const {
    return stops_.drain != nullptr && stops_.drain();
}

bool StationShared::stopNow() const {
    return stops_.stopNow != nullptr && stops_.stopNow();
}

Outcome StationShared::stopOutcome() const {
    return stops_.outcome != nullptr ? stops_.outcome() : Outcome::Interrupted;
}

bool StationShared::claimMeter() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (draining() || ending() || recordFailing() ||
        (settings_.count > 0 && claimed_ >= settings_.count)) {
        return false;
    }
    ++claimed_;
    return true;
}

void StationShared::finishMeter(const LaneTag& lane, const MeterRun& meter,
                                const std::string& recordProblem) {
    StationTotals totals;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        addTally(totals_, tallyOf(meter.outcome()));
        totals = totals_;
        ++finished_;
        if (settings_.count > 0 && finished_ >= settings_.count) {
            ended_ = true;
        }
    }
    observer_.outcome(lane, meter, totals, recordProblem);
}

void StationShared::setTwinSerials(std::set<std::string> serials) {
    std::lock_guard<std::mutex> lock(mutex_);
    twinSerials_ = std::move(serials);
}

bool StationShared::isTwinSerial(const std::string& serial) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return twinSerials_.count(serial) > 0;
}

StationTotals StationShared::totals() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return totals_;
}

} // namespace pxr7
