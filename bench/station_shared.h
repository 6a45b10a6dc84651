// What the station's lanes share: its settings and stop checks, the bus and its lock, the
// ledger every unit is recorded through, the count of meters claimed and finished, the totals,
// and the serial numbers that cannot tell leads apart.
#pragma once

#include "bench_file.h"
#include "device_bus.h"
#include "exit_codes.h"
#include "lane_service.h"
#include "operator_name.h"
#include "station_observer.h"
#include "unit_ids.h"
#include "unit_ledger.h"

#include <atomic>
#include <mutex>
#include <set>
#include <string>

namespace pxr7 {

struct StationSettings {
    int count = 0;   // meters to finish before the station ends; 0: until it is stopped
    int retries = 2; // further transfers after a retryable failure
    bool setUp = false;
    std::string recordPath;
    std::string declaredVersion; // the image's version
    BenchFile bench;             // the leads' names
    // Not null: a meter is served only once its lane has a unit id from here.
    UnitIds* unitIds = nullptr;
    // Not null: who runs the bench, for each unit's record line.
    const OperatorName* operatorName = nullptr;
    // Not null: where the technician takes lanes back into service (bench.outOfServiceAfter).
    const LaneService* service = nullptr;
};

// The station's view of the stop signals. drain: no new meter starts (a first Ctrl+C).
// stopNow: stop what runs, let the meters go, close the ports. outcome: the stop's outcome
// to end with after stopNow. All null: never.
struct StationStops {
    bool (*drain)() = nullptr;
    bool (*stopNow)() = nullptr;
    Outcome (*outcome)() = nullptr;
};

class StationShared {
public:
    StationShared(const StationSettings& settings, const StationStops& stops,
                  StationObserver& observer)
        : settings_(settings), stops_(stops), observer_(observer),
          ledger_(settings.recordPath, "station", settings.bench.name) {
        ledger_.setOperator(settings.operatorName);
    }

    const StationSettings& settings() const { return settings_; }
    StationObserver& observer() { return observer_; }
    DeviceBus& bus() { return bus_; }
    UnitLedger& ledger() { return ledger_; }

    bool draining() const;
    bool stopNow() const;
    Outcome stopOutcome() const;
    // What a running transfer asks: only a real stop ends it, never a first Ctrl+C.
    StopCheck stopCheck() const {
        return StopCheck{stops_.stopNow, stops_.stopNow, stops_.outcome};
    }
    // No lane may start anything more: stopped, --count meters finished, or the record fails.
    bool ending() const { return stopNow() || ended_.load() || recordFailing(); }
    bool recordFailing() const { return ledger_.failing(); }

    // Takes one of the meters the station may still start; false once it is draining or ending,
    // all --count meters are taken, or the record cannot be written.
    bool claimMeter();
    // Counts a finished meter (its line already written through the ledger) and tells the
    // observer.
    void finishMeter(const LaneTag& lane, const MeterRun& meter, const std::string& recordProblem);

    // Serial numbers that leads share while the driver gives no locations. The walk keeps them;
    // a lane on such a serial number serves nothing.
    void setTwinSerials(std::set<std::string> serials);
    bool isTwinSerial(const std::string& serial) const;

    StationTotals totals() const;

private:
    StationSettings settings_;
    StationStops stops_;
    StationObserver& observer_;
    DeviceBus bus_;
    UnitLedger ledger_;
    mutable std::mutex mutex_;
    int claimed_ = 0;
    int finished_ = 0;
    StationTotals totals_;
    std::set<std::string> twinSerials_;
    std::atomic<bool> ended_{false};
};

} // namespace pxr7
