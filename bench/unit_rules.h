// The unit model: what counts as one meter on a lane, so that every meter the bench sees is
// served once and recorded once. These rules are the contract of the meter pipeline
// (meter_job.h) and of the station's lanes:
//
// - A unit starts when a meter answers its version on a lane that is waiting for one.
// - It has left when it has not answered for kUnitLeftAfter, counted from its last answer, or
//   at once when the lane hears an answer that cannot be it: another version than the one it
//   last reported or was given (the image's version, once it took the whole image). A unit
//   that ended failed and answered its own version right after (a reset that did not take, a
//   boot loader that answers) goes on answering so: it is not served again until it has been
//   taken off.
// - A unit that took the whole image and was silent through its verification may still be
//   starting its new firmware: it has left only after one more verification window of
//   silence, and an answer on the image's version within it is that unit, verified late.
// - Busy (another process or lane holds the bridge) is neither an answer nor a silence: the
//   time an ask spends finding the bridge busy does not count towards leaving.
// - Before a retry the lane listens for kListenBeforeRetry: silence, or an answer on the
//   unit's own version at once, before any silence (a reset that did not take, or a boot
//   loader that answers), means the same meter, and it is tried again; any other answer is a
//   new unit (the old one is recorded failed, the new one served). A retry whose reset gets no
//   handshake and no answer after it means the meter is gone or dead: the unit ends failed and is
//   not tried again; one that answers as before through every pulse ends reset_ignored.
// - Leads that cannot be told apart (the same or no serial number, and no location from the
//   driver) are shown and never served; no ask goes through an index that may have shifted.
// - Every unit that received a reset pulse or any record of the image is recorded exactly
//   once, whatever ends it (unit_ledger.h).
//
// What a lead cannot tell: a meter clipped on during a reset pulse (the first or a retry's) is
// taken for the unit being served; a meter swapped for another on the same version while its
// lane retries or shows a failed unit is taken for that unit; and a meter swapped within the
// verification window for one that already runs the new version answers as if it were the
// unit. All are in the guide.
#pragma once

#include <chrono>
#include <string>

namespace pxr7 {

constexpr std::chrono::milliseconds kUnitLeftAfter{1000};
constexpr std::chrono::milliseconds kListenBeforeRetry{1200};

// One lane's unit, if it has one, by what the lane hears on each ask.
class UnitPresence {
public:
    using Clock = std::chrono::steady_clock;

    enum class Heard {
        NewUnit,     // an answer while no unit is there, or one that cannot be the unit
        SameUnit,    // the unit answered again
        StartedLate, // the unit, silent after its image, now answers on the image's version
        Nothing,     // silence or busy, and no unit is there (or it has just left)
        StillThere,  // silence or busy, and the unit has not been silent long enough to leave
    };

    // A unit began with this answer (the lane serves it next).
    void start(const std::string& version, Clock::time_point at);
    // The unit was served: the version it last reported, the one it was given ("" for none),
    // and when it last answered.
    void served(const std::string& lastVersion, const std::string& given,
                Clock::time_point lastAnswer);
    // Served as above, but it took the image and has not answered since, up to endedAt: it may
    // still be starting its new firmware, and stay silent for startWait from then.
    void servedStarting(const std::string& lastVersion, const std::string& given,
                        Clock::time_point endedAt, Clock::duration startWait);

    Heard answer(const std::string& version, Clock::time_point at);
    Heard silence(Clock::time_point at);
    // The ask found the bridge held: the time since the last ask is not silence.
    Heard busy(Clock::time_point at);

    bool present() const { return present_; }
    // What the unit last answered.
    const std::string& version() const { return lastVersion_; }

private:
    bool couldBeTheUnit(const std::string& version) const;
    Heard afterQuiet(Clock::time_point at);

    bool present_ = false;
    std::string lastVersion_;
    std::string given_;
    Clock::time_point lastAnswer_{};
    Clock::time_point lastAsk_{};
    bool starting_ = false;
    Clock::duration quietAllowed_ = kUnitLeftAfter;
};

} // namespace pxr7
