// The scenario's write_fault: picks out the one FT_Write of a transfer that misbehaves (the one
// carrying the "{" answer, or the one carrying wire record K) and says how much of it goes out.
// A transfer starts when a reset pulse ends; the fault strikes once per program run, so a
// later transfer gets through.
#pragma once

#include "scenario.h"

#include <cstdint>

namespace sim {

struct WriteOutcome {
    bool fails;             // FT_IO_ERROR: nothing goes out
    std::uint32_t accepted; // the bytes that go out, and the count FT_Write reports
};

class WriteFaultPlan {
public:
    explicit WriteFaultPlan(const WriteFault& fault) : fault_(fault) {}

    // DTR was released after being asserted: record writes count from 0 again.
    void resetPulseEnded();

    // What becomes of a write of count bytes (bytes non-null when count > 0).
    WriteOutcome judge(const std::uint8_t* bytes, std::uint32_t count);

private:
    WriteFault fault_;
    bool inTransfer_ = false;
    long recordWrites_ = 0;
    bool spent_ = false;
};

} // namespace sim
