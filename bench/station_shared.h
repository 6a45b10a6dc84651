// What the station's lanes share: its settings and stop checks, the bus lock, the count of
// meters claimed and finished, the totals, and the record every finished meter goes to.
#pragma once

#include "exit_codes.h"
#include "station_bus.h"
#include "station_observer.h"

#include <atomic>
#include <mutex>
#include <string>

namespace pxr7 {

struct StationSettings {
    int count = 0;   // meters to finish before the station ends; 0: until it is stopped
    int retries = 2; // further transfers after a retryable failure
    bool setUp = false;
    std::string recordPath;
    std::string declaredVersion; // the image's version
};

// The station's view of the stop signals. drain: no new meter starts (a first Ctrl+C).
// stopNow: stop what runs, let the meters go, close the ports. exitCode: the code to end
// with after stopNow. All null: never.
struct StationStops {
    bool (*drain)() = nullptr;
    bool (*stopNow)() = nullptr;
    int (*exitCode)() = nullptr;
};

class StationShared {
public:
    StationShared(const StationSettings& settings, const StationStops& stops,
                  StationObserver& observer)
        : settings_(settings), stops_(stops), observer_(observer) {}

    const StationSettings& settings() const { return settings_; }
    StationObserver& observer() { return observer_; }
    StationBus& bus() { return bus_; }

    bool draining() const;
    bool stopNow() const;
    int stopExitCode() const;
    // What a running transfer asks: only a real stop ends it, never a first Ctrl+C.
    StopCheck stopCheck() const {
        return StopCheck{stops_.stopNow, stops_.stopNow, stops_.exitCode};
    }
    // No lane may start anything more: stopped, or --count meters finished.
    bool ending() const { return stopNow() || ended_.load(); }

    // Takes one of the meters the station may still start; false once it is draining or ending,
    // or all --count meters are taken.
    bool claimMeter();
    // Records a finished meter (one appended line, on disk before this returns), counts it,
    // and tells the observer.
    void finishMeter(const LaneTag& lane, const StationMeter& meter);

    StationTotals totals() const;

private:
    StationSettings settings_;
    StationStops stops_;
    StationObserver& observer_;
    StationBus bus_;
    mutable std::mutex mutex_;
    int claimed_ = 0;
    int finished_ = 0;
    StationTotals totals_;
    std::atomic<bool> ended_{false};
};

} // namespace pxr7
