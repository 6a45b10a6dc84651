// The meter pipeline: one unit from the answer that started it to its final result, for
// `upgrade`, `upgrade --all` and each station lane alike. A meter already on the image's
// version is current; any other is upgraded and verified, and a retryable failure tried again
// as the unit rules (unit_rules.h) allow. The unit's record line is written through the ledger
// exactly once, whatever ends it.
#pragma once

#include "meter_bus.h"
#include "unit_ledger.h"

#include <chrono>
#include <optional>
#include <string>

namespace pxr7 {

// How long a restarted meter may take to start its new firmware and answer, by default.
constexpr std::chrono::seconds kDefaultVerifyWait{10};

struct JobSettings {
    std::string declaredVersion; // the image's version; empty: any answer verifies
    bool verify = true;
    int retries = 0;           // further transfers after a retryable failure
    bool currentIsDone = true; // a meter on the image's version is recorded current, not sent
    std::chrono::milliseconds verifyWait = kDefaultVerifyWait;
    // The lane goes on watching the lead after the unit ends (the station): a failed unit is
    // asked once more at its end, so that one still answering is known for the same meter.
    bool watchedAfter = false;
};

// What the lane needs to know once the unit has ended.
struct UnitEnd {
    std::optional<std::string> nextUnit; // another meter answered while this one ended
    std::string lastVersion;             // what the unit last reported
    std::string given;                   // the version it took a whole image of, or ""
    MeterBus::Clock::time_point lastAnswer{};
    bool recorded = false;     // its record line is on disk
    std::string recordProblem; // why it is not
};

class MeterJob {
public:
    MeterJob(MeterBus& bus, const JobSettings& settings, LaneObserver& lane, const StopCheck& stop,
             UnitLedger& ledger)
        : bus_(bus), settings_(settings), lane_(lane), stop_(stop), ledger_(ledger) {}

    // Serves the unit on lead that answered version (none: a meter that did not answer, say one
    // waiting in its boot loader). run carries the lead and version before; it is filled in,
    // recorded, and returned.
    MeterRun serve(BridgeIdentity& lead, const std::optional<std::string>& version, MeterRun run);
    const UnitEnd& end() const { return end_; }

private:
    // What the lane heard while it listened before a retry.
    enum class Heard { Silence, ItsOwnVersion, TheImagesVersion, AnotherVersion, NoWord, Left };

    void serveAttempts(BridgeIdentity& lead, MeterRun& run);
    Outcome attempt(BridgeIdentity& lead, MeterRun& run);
    Outcome verify(BridgeIdentity& lead, MeterRun& run);
    Outcome judgeAnswer(const std::string& version, MeterRun& run);
    bool tryAgain(Outcome code, BridgeIdentity& lead, MeterRun& run);
    void endAttemptWith(Outcome code, MeterRun& run);
    Heard listenBeforeRetry(BridgeIdentity& lead);
    void askOnceAtTheEnd(BridgeIdentity& lead, MeterRun& run);
    void noteAttempt(MeterRun& run);
    void settle(MeterRun& run);
    bool stopped() const;

    MeterBus& bus_;
    JobSettings settings_;
    LaneObserver& lane_;
    StopCheck stop_;
    UnitLedger& ledger_;
    UnitEnd end_;
    int ticket_ = 0;
    bool resetIgnored_ = false; // after a pulse without a handshake, it answered as before
    // The attempt that got furthest, as it ended: the unit's truth when the later ones sent
    // nothing.
    MeterRun furthest_;
};

} // namespace pxr7
