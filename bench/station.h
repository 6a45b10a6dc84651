// The station: meter after meter on a bench of meter leads, until it is stopped or --count
// meters have finished. Every meter lead on the bus is a lane with its own thread
// (station_lane.h); the bus is walked again every second by identity only, so a lead plugged
// in later becomes a lane and one pulled out ends its lane. Bridges that are not meter leads
// are opened only to read who they are. Starting the station is the consent to upgrade the
// meters that come to it. No terminal I/O: an observer is told everything.
#pragma once

#include "station_shared.h"

namespace pxr7 {

struct StationResult {
    Outcome outcome = Outcome::Ok; // Ok, StationFailures, RecordFailed, or the stop's outcome
    StationTotals totals;
    std::string recordProblem; // RecordFailed: why the record could not be written
};

// Runs the station until stops.stopNow, stops.drain (once the meters under way have finished
// and been recorded) or settings.count finished meters.
StationResult runStation(const StationSettings& settings, const StationStops& stops,
                         StationObserver& observer);

// A line from the operator's id input (unit_scan.h): a fixture's label, a badge (who may be
// null) or a unit id; the observer hears what came of it.
void takeUnitIdInput(UnitIds& ids, OperatorName* who, StationObserver& observer,
                     const std::string& line);

} // namespace pxr7
