#include "write_fault.h"

#include "meter.h"

namespace sim {

void WriteFaultPlan::resetPulseEnded() {
    inTransfer_ = true;
    recordWrites_ = 0;
}

WriteOutcome WriteFaultPlan::judge(const std::uint8_t* bytes, std::uint32_t count) {
    bool struck = false;
    if (inTransfer_ && count == 1 && bytes[0] == kHandshakeAnswer) {
        struck = fault_.record < 0;
    } else if (inTransfer_ && count == kWireRecordSize) {
        struck = recordWrites_++ == fault_.record;
    }
    if (!struck || spent_ || fault_.effect == WriteFaultEffect::None) {
        return WriteOutcome{false, count};
    }
    spent_ = true;
    if (fault_.effect == WriteFaultEffect::Fail) {
        return WriteOutcome{true, 0};
    }
    // Half a record; nothing of the one-byte answer.
    return WriteOutcome{false, count / 2};
}

} // namespace sim
