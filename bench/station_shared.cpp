#include "station_shared.h"

#include "record.h"

#include <cstdio>

namespace pxr7 {

namespace {

std::string locationText(const LaneTag& lane) {
    if (!lane.location) {
        return "";
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(*lane.location));
    return text;
}

RecordEntry entryFor(const LaneTag& lane, const StationMeter& meter) {
    RecordEntry entry;
    entry.command = "station";
    entry.started = meter.started;
    entry.finished = meter.finished;
    entry.leadSerial = lane.serial;
    entry.leadIndex = lane.index;
    entry.leadLocation = locationText(lane);
    entry.result = meter.result;
    entry.versionBefore = meter.run.versionBefore;
    entry.versionAfter = meter.run.versionAfter;
    entry.attempts = meter.attempts;
    entry.recordsSent = meter.run.recordsSent;
    entry.recordsTotal = meter.run.recordsTotal;
    entry.seconds = meter.run.seconds;
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
