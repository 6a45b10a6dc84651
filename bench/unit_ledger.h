// The units in flight and their record lines. A unit is entered when its serve begins and its
// line is written when it ends: one line per unit, never two, never none. If a stop has to end
// the program while a driver call hangs, the stop writes a line for every unit still open
// (recordOpenUnits), with how far its transfer got and the stop's word as its result.
#pragma once

#include "meter_run.h"
#include "operator_name.h"
#include "record.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace pxr7 {

class UnitLedger {
public:
    // command: "station" or "upgrade"; benchName: the bench's name in its lines, "" for the
    // host's. Ledgers register themselves for recordOpenUnits.
    UnitLedger(std::string recordPath, const char* command, std::string benchName = "");
    ~UnitLedger();
    UnitLedger(const UnitLedger&) = delete;
    UnitLedger& operator=(const UnitLedger&) = delete;

    // Who runs the bench: each unit's line names who it was as the unit began. Null: nobody.
    void setOperator(const OperatorName* who) { operator_ = who; }
    // A unit begins on the lead at location; returns its ticket.
    int open(const MeterRun& run, const std::optional<std::uint32_t>& location);
    void progress(int ticket, std::int32_t sent, std::int32_t total);
    // Writes the unit's line (once: a unit already written is not written again). False, and
    // the reason in problem, if it could not be written.
    bool close(int ticket, const MeterRun& run, std::string& problem);
    // Writes the line of a unit that ended before anything was sent to it (already current).
    bool recordUnserved(const MeterRun& run, std::string& problem);
    // Writes a line for every unit still open, ended by the stop's outcome.
    void closeAll(Outcome stop);

    // Whether an append has failed: no new unit should start.
    bool failing() const;
    std::string lastProblem() const;

private:
    struct OpenUnit {
        RecordEntry entry;
        MeterRun run;
    };

    bool write(const RecordEntry& opened, const MeterRun& run, std::string& problem);

    std::string recordPath_;
    const char* command_;
    std::string benchName_;
    const OperatorName* operator_ = nullptr;
    mutable std::mutex mutex_;
    std::map<int, OpenUnit> open_;
    int nextTicket_ = 1;
    std::string problem_;
};

// For the stop watchdog, just before it ends the program: every open unit of every ledger gets
// its line, its result the word of the stop's outcome.
void recordOpenUnits(Outcome stop);

} // namespace pxr7
