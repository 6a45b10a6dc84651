#include "station_shared.h"

#include "record.h"

namespace pxr7 {

namespace {

RecordEntry entryFor(const LaneTag& lane, const StationMeter& meter) {
    RecordEntry entry = recordEntryFor(meter.run, "station");
    entry.started = meter.started;
    entry.finished = meter.finished;
    // The lane knows where the lead is now, which may not be where the meter was first seen.
    entry.leadSerial = lane.serial;
    entry.leadIndex = lane.index;
    entry.leadLocation = lane.location ? locationText(*lane.location) : "";
    entry.result = meter.result;
    entry.attempts = meter.attempts;
    return entry;
}

} // namespace

bool StationShared::draining() const {
    return stops_.drain != nullptr && stops_.drain();
}

bool StationShared::stopNow() const {
    return stops_.stopNow != nullptr && stops_.stopNow();
}

int StationShared::stopExitCode() const {
    return stops_.exitCode != nullptr ? stops_.exitCode() : EXIT_INTERRUPTED;
}

bool StationShared::claimMeter() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (draining() || ending() || (settings_.count > 0 && claimed_ >= settings_.count)) {
        return false;
    }
    ++claimed_;
    return true;
}

void StationShared::finishMeter(const LaneTag& lane, const StationMeter& meter) {
    std::string problem;
    appendRecord(settings_.recordPath, recordLine(entryFor(lane, meter)), problem);
    StationTotals totals;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        int& total = meter.result == "ok"        ? totals_.ok
                     : meter.result == "current" ? totals_.current
                                                 : totals_.failed;
        ++total;
        totals = totals_;
        ++finished_;
        if (settings_.count > 0 && finished_ >= settings_.count) {
            ended_ = true;
        }
    }
    observer_.outcome(lane, meter, totals, problem);
}

StationTotals StationShared::totals() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return totals_;
}

} // namespace pxr7
