#include "unit_rules.h"

#include <algorithm>

namespace pxr7 {

void UnitPresence::start(const std::string& version, Clock::time_point at) {
    present_ = true;
    lastVersion_ = version;
    given_.clear();
    lastAnswer_ = at;
    lastAsk_ = at;
    starting_ = false;
    quietAllowed_ = kUnitLeftAfter;
}

void UnitPresence::served(const std::string& lastVersion, const std::string& given,
                          Clock::time_point lastAnswer) {
    present_ = true;
    if (!lastVersion.empty()) {
        lastVersion_ = lastVersion;
    }
    given_ = given;
    lastAnswer_ = lastAnswer;
    lastAsk_ = lastAnswer;
    starting_ = false;
    quietAllowed_ = kUnitLeftAfter;
}

void UnitPresence::servedStarting(const std::string& lastVersion, const std::string& given,
                                  Clock::time_point endedAt, Clock::duration startWait) {
    served(lastVersion, given, endedAt);
    starting_ = !given.empty();
    quietAllowed_ = std::max<Clock::duration>(startWait, kUnitLeftAfter);
}

bool UnitPresence::couldBeTheUnit(const std::string& version) const {
    return version == lastVersion_ || (!given_.empty() && version == given_);
}

UnitPresence::Heard UnitPresence::answer(const std::string& version, Clock::time_point at) {
    afterQuiet(at);
    if (present_ && couldBeTheUnit(version)) {
        const bool late = starting_ && version == given_;
        lastVersion_ = version;
        lastAnswer_ = at;
        starting_ = false;
        quietAllowed_ = kUnitLeftAfter;
        return late ? Heard::StartedLate : Heard::SameUnit;
    }
    present_ = false;
    return Heard::NewUnit;
}

UnitPresence::Heard UnitPresence::silence(Clock::time_point at) {
    return afterQuiet(at);
}

UnitPresence::Heard UnitPresence::busy(Clock::time_point at) {
    // Held by someone else: the unit may well be answering there. The span is not silence.
    if (at > lastAsk_) {
        lastAnswer_ += at - lastAsk_;
    }
    lastAsk_ = at;
    return present_ ? Heard::StillThere : Heard::Nothing;
}

UnitPresence::Heard UnitPresence::afterQuiet(Clock::time_point at) {
    lastAsk_ = at;
    if (present_ && at - lastAnswer_ >= quietAllowed_) {
        present_ = false;
    }
    return present_ ? Heard::StillThere : Heard::Nothing;
}

} // namespace pxr7
