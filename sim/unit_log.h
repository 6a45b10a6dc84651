// The truth log: what each physical meter unit did, one line per event, so a test can hold a
// host's own account (its record, its outcomes) against what really happened on the bench.
// A unit is one meter_windows window of a bridge, or the one meter of a bridge without them:
// unit <bridge>.<window>, window 0 for the always-attached meter. Lines:
//   bench steady_us=<n>                          at each load: the bench clock's 0 on the
//                                                machine's steady clock (CLOCK_MONOTONIC)
//   unit=<b>.<w> attached at_ms=<t>
//   unit=<b>.<w> detached at_ms=<t>
//   unit=<b>.<w> held at_ms=<t>                  DTR asserted: held in reset (at its clip-on,
//                                                if the lead held the reset then)
//   unit=<b>.<w> pulse at_ms=<t>                 DTR cleared after that: a reset
//   unit=<b>.<w> answered version=<v> reply=<r> at_ms=<t>
//   unit=<b>.<w> stored record=<k> at_ms=<t>
//   unit=<b>.<w> new_firmware version=<v> at_ms=<t>
//   lead=<b> dtr=on|off at_ms=<t>               the lead's reset line changed, unit or none
// at_ms counts from the bench clock's 0. Lines come in the order the simulator learns of the
// events, which across bridges may differ a little from the order of at_ms.
#pragma once

#include "sim_time.h"

#include <cstdio>
#include <string>

namespace sim {

class UnitLog {
public:
    UnitLog() = default;
    UnitLog(const UnitLog&) = delete;
    UnitLog& operator=(const UnitLog&) = delete;
    ~UnitLog();

    // Opens (or re-opens) the log at path for appending and writes the bench line; an empty
    // path turns the log off. Event times count from origin.
    void open(const std::string& path, Micros origin);
    void note(const std::string& unit, Micros at, const std::string& what);
    void noteLead(int bridge, Micros at, const std::string& what);

private:
    void write(const std::string& text, Micros at);

    std::FILE* file_ = nullptr;
    Micros origin_ = 0;
};

// One unit's voice in the log; a default one says nothing.
class UnitNotes {
public:
    UnitNotes() = default;
    UnitNotes(UnitLog* log, int bridge, int window)
        : log_(log), unit_(std::to_string(bridge) + "." + std::to_string(window)) {}

    void note(Micros at, const std::string& what) const {
        if (log_ != nullptr) {
            log_->note(unit_, at, what);
        }
    }

private:
    UnitLog* log_ = nullptr;
    std::string unit_;
};

} // namespace sim
