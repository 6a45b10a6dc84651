// The soak's invariants, held against the simulator's truth:
//  - every unit that took a reset pulse or a record is recorded exactly once (no unit twice,
//    whatever it took); a line is about the unit whose answer started its run: the last
//    answer that reached the host on its lead before the run began;
//  - `ok` only for a unit that took the whole image (its capture is the image byte for byte)
//    and then answered the image's version, except where it was taken off after its image
//    and a unit already on that version answered in its place, which the lead cannot tell
//    apart: counted, not a violation; `current` only for a unit that answered the image's
//    version and took nothing;
//  - a unit clipped on while the lead held a reset (or just before it, with nothing asked of
//    the lead in between) it began right after the unit before
//    answered, or after about a second without hearing from the bench, is one no lead can
//    tell from that unit: it is counted, and neither its missing line nor the other's `ok`
//    for the image it took is a violation (a reset begun sooner after a stopped transfer
//    gave the new unit no chance to answer, and stays a violation);
//  - no reset pulse and no EEPROM write on another gadget's adapter or a factory-fresh lead
//    without --setup, no write on them either; no reset begun and no `ok` on twins nothing
//    tells apart once both have been on the bus long enough for the station to see them;
//  - with unit ids, every line carries the id the operator scanned for its own unit, and the
//    operator's name from the badge; a unit taken off just before its run began, swapped for
//    a meter the lead cannot tell from it, is counted, not a violation;
//  - the station runs until it is stopped, its exit code agrees with the record and the
//    signal, and it ends without the watchdog.
#pragma once

#include "bench_plan.h"
#include "record_lines.h"
#include "station_run.h"
#include "truth.h"

#include <map>
#include <string>
#include <vector>

namespace soak {

struct Violation {
    std::string kind; // never_recorded, recorded_twice, false_ok, ...
    std::string text; // seed, lead, unit and what happened
};

struct RunReport {
    int units = 0;   // units attached during the run
    int touched = 0; // of them, reset or written
    int swapsAfterImage = 0;
    int swapsUnderReset = 0; // units clipped on under another's reset and then reset or written
    int unitIdLines = 0;     // lines checked against the unit id the operator scanned
    int unseenIdSwaps = 0;   // lines whose id's unit was swapped off unseen just before the run
    std::map<std::string, int> results; // record lines by result word
    std::vector<Violation> violations;
};

struct RunFacts {
    const BenchPlan& plan;
    const Truth& truth;
    const StationRun& run;
    const std::vector<RecordLine>& lines;
    const std::vector<std::string>& trace; // the D2XX call trace
    std::string folder;                    // where the captures are
    std::string image;                     // the image's bytes
};

RunReport checkRun(const RunFacts& facts);

// Parts of the checks, each adding to report.
void checkUnitsAndLines(const RunFacts& facts, RunReport& report);
void checkLeftAlone(const RunFacts& facts, RunReport& report);
void checkExitCode(const RunFacts& facts, RunReport& report);

// "seed 7, lead PX7A0003 (bridge 3)": where a violation happened.
std::string where(const BenchPlan& plan, int bridge);

} // namespace soak
