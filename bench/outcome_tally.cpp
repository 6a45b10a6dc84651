#include "outcome_tally.h"

#include "exit_codes.h"

namespace pxr7 {

Tally tallyOf(MeterOutcome outcome) {
    switch (outcome) {
    case MeterOutcome::Ok:
        return Tally::Ok;
    case MeterOutcome::Current:
        return Tally::Current;
    case MeterOutcome::Failed:
        return Tally::Failed;
    case MeterOutcome::Stopped:
        break;
    }
    return Tally::None;
}

Tally tallyOfResult(const std::string& result) {
    if (result == "ok") {
        return Tally::Ok;
    }
    if (result == "current") {
        return Tally::Current;
    }
    const ExitCodeRow* row = rowOfWord(result);
    return row != nullptr && row->stopSignal ? Tally::None : Tally::Failed;
}

Tally recordTotalsTallyOf(const std::string& result) {
    const Tally tally = tallyOfResult(result);
    return tally == Tally::None ? Tally::Failed : tally;
}

} // namespace pxr7
