#include "meter_job.h"

#include "printable.h"
#include "unit_rules.h"

namespace pxr7 {

namespace {

constexpr auto kAskEvery = std::chrono::milliseconds(250);
// The lead must be missing from two asks in a row: one miss may be a bridge re-enumerating.
constexpr int kMissesForGone = 2;

// Passes the transfer's words on and keeps the ledger's count of records sent.
class CountingObserver : public LaneObserver {
public:
    CountingObserver(LaneObserver& lane, UnitLedger& ledger, int ticket)
        : lane_(lane), ledger_(ledger), ticket_(ticket) {}
    void phase(Phase phase) override { lane_.phase(phase); }
    void progress(std::int32_t done, std::int32_t total) override {
        ledger_.progress(ticket_, done, total);
        lane_.progress(done, total);
    }
    void transferEnded(const UpgradeOutcome& outcome) override { lane_.transferEnded(outcome); }

private:
    LaneObserver& lane_;
    UnitLedger& ledger_;
    int ticket_;
};

} // namespace

MeterRun MeterJob::serve(BridgeIdentity& lead, const std::optional<std::string>& version,
                         MeterRun run) {
    const MeterBus::Clock::time_point began = bus_.now();
    end_ = UnitEnd();
    end_.lastAnswer = began;
    end_.lastVersion = version.value_or("");
    resetIgnored_ = false;
    furthest_ = MeterRun();
    run.versionBefore = version.value_or("");
    ticket_ = ledger_.open(run, lead.location);
    if (version && settings_.currentIsDone && !settings_.declaredVersion.empty() &&
        *version == settings_.declaredVersion) {
        run.endCurrent();
        run.versionAfter = *version;
    } else {
        serveAttempts(lead, run);
        settle(run);
    }
    run.index = lead.index;
    run.seconds = std::chrono::duration<double>(bus_.now() - began).count();
    end_.recorded = ledger_.close(ticket_, run, end_.recordProblem);
    return run;
}

void MeterJob::serveAttempts(BridgeIdentity& lead, MeterRun& run) {
    for (run.attempts = 1;; ++run.attempts) {
        lane_.attemptStarted(run.attempts);
        run.endWith(attempt(lead, run));
        noteAttempt(run);
        if (!tryAgain(run.code(), lead, run)) {
            return;
        }
    }
}

Outcome MeterJob::attempt(BridgeIdentity& lead, MeterRun& run) {
    run.diagnosis.clear();
    run.versionAfter.clear();
    run.recordsSent = 0;
    CountingObserver counting(lane_, ledger_, ticket_);
    const Outcome code = bus_.transfer(lead, counting, stop_, run);
    if (run.recordsTotal > 0 && run.recordsSent == run.recordsTotal) {
        end_.given = settings_.declaredVersion;
    }
    if (code != Outcome::Ok || !settings_.verify) {
        return code;
    }
    return verify(lead, run);
}

void MeterJob::noteAttempt(MeterRun& run) {
    run.attemptResults.push_back({run.code(), run.recordsSent});
    if (run.recordsSent > run.furthestRecords) {
        run.furthestAttempt = run.attempts;
        run.furthestRecords = run.recordsSent;
        furthest_ = run;
    }
}

// The unit's result is how its last attempt ended, with two exceptions. A meter that answered
// as before after pulses that got no handshake never took a reset. And a last attempt that
// sent nothing says less than an earlier one that got part of the image across: the meter
// holds those records, so that attempt's failure is the unit's (every attempt stays listed).
void MeterJob::settle(MeterRun& run) {
    if (resetIgnored_ && retryOf(run.code()) == Retry::UnansweredPulse) {
        run.endWith(Outcome::ResetIgnored);
        run.diagnosis = "pxr7: the meter still runs its old firmware (it reports " +
                        printable(end_.lastVersion) + ") after " + std::to_string(run.attempts) +
                        (run.attempts == 1 ? " reset pulse" : " reset pulses") +
                        ": its reset does not take.";
        return;
    }
    if (run.code() == Outcome::Ok || isStopSignal(run.code()) || run.recordsSent > 0 ||
        run.furthestRecords == 0) {
        return;
    }
    const Outcome last = run.code();
    run.endWith(furthest_.code());
    run.diagnosis = furthest_.diagnosis;
    run.versionAfter = furthest_.versionAfter;
    run.recordsSent = furthest_.recordsSent;
    run.recordsTotal = furthest_.recordsTotal;
    run.diagnosis += std::string(run.diagnosis.empty() ? "" : " ") + "(attempt " +
                     std::to_string(run.furthestAttempt) +
                     "; the retry after it sent nothing: " + errorWordFor(last) + ")";
}

// The restarted meter's version, asked through the lead found again each time: never through
// an index that may have shifted, and only an answer that can be this unit counts.
Outcome MeterJob::verify(BridgeIdentity& lead, MeterRun& run) {
    lane_.phase(Phase::Verifying);
    const MeterBus::Clock::time_point deadline = bus_.now() + settings_.verifyWait;
    for (int misses = 0;;) {
        std::string version;
        const Asked asked = bus_.ask(lead, version);
        if (asked == Asked::Answered) {
            end_.lastAnswer = bus_.now();
            return judgeAnswer(version, run);
        }
        misses = asked == Asked::Gone ? misses + 1 : 0;
        if (asked == Asked::CannotTell) {
            run.diagnosis = "pxr7: another lead shares this lead's serial number (or neither has "
                            "one) and the driver cannot tell where each is plugged in, so no "
                            "answer proves this meter's version: connect the lead on its own and "
                            "run pxr7 list.";
            return Outcome::VerifyFailed;
        }
        if (misses >= kMissesForGone) {
            run.diagnosis = "pxr7: the lead was unplugged before the meter's new version could "
                            "be read: plug it in and run pxr7 list.";
            return Outcome::PortError;
        }
        if (stopped()) {
            return stop_.outcome();
        }
        if (bus_.now() >= deadline) {
            const auto seconds =
                std::chrono::duration_cast<std::chrono::seconds>(settings_.verifyWait).count();
            run.diagnosis = "pxr7: the meter did not answer within " + std::to_string(seconds) +
                            " s after the upgrade: it needs longer to start, or it waits in its "
                            "boot loader.";
            return Outcome::MeterSilent;
        }
        bus_.pause(kAskEvery);
    }
}

// Whatever answers in the verification window is taken for the unit: a meter swapped in
// meanwhile cannot be told from it, and a failure here is never a false "ok".
Outcome MeterJob::judgeAnswer(const std::string& version, MeterRun& run) {
    const std::string& declared = settings_.declaredVersion;
    run.versionAfter = version;
    end_.lastVersion = version;
    if (declared.empty() || version == declared) {
        run.diagnosis.clear();
        return Outcome::Ok;
    }
    run.diagnosis = "pxr7: the meter reports " + printable(version) + " after the upgrade, not " +
                    declared + ": the new firmware did not take. Run upgrade again.";
    return Outcome::VerifyFailed;
}

// Before a retry the lane listens (unit_rules.h). Silence is the same meter, stuck in its
// boot loader; an answer on the unit's own version before any silence is the same meter too,
// still on its old firmware (its reset did not take, or its boot loader answers); the image's
// version is this unit verified late; any other answer is a new unit. After a pulse that got no
// handshake (Retry::UnansweredPulse) the lane listens even with no retry left, to tell a meter
// whose reset does not take from one that is gone.
bool MeterJob::tryAgain(Outcome code, BridgeIdentity& lead, MeterRun& run) {
    const Retry retry = retryOf(code);
    if (retry == Retry::Never || stopped() || end_.nextUnit) {
        return false;
    }
    const bool unanswered = retry == Retry::UnansweredPulse;
    const bool retryLeft = run.attempts <= settings_.retries;
    if (!retryLeft && (!settings_.watchedAfter || !unanswered)) {
        if (settings_.watchedAfter) {
            askOnceAtTheEnd(lead, run);
        }
        return false;
    }
    switch (listenBeforeRetry(lead)) {
    case Heard::ItsOwnVersion:
        resetIgnored_ = resetIgnored_ || unanswered;
        return retryLeft;
    case Heard::TheImagesVersion:
        endAttemptWith(judgeAnswer(end_.given, run), run);
        return false;
    case Heard::Silence:
        // A retry whose reset got no handshake and no answer after: the meter is gone or dead.
        return retryLeft && !(unanswered && run.attempts > 1);
    case Heard::AnotherVersion:
    case Heard::NoWord:
    case Heard::Left:
        break;
    }
    return false;
}

// No retry is left: one ask right away tells a meter that answers in the state it was left in
// (its boot loader on the old version, or the new firmware late) from a silent one, so the
// lane knows it for this unit; a meter clipped on later is a new unit all the same.
void MeterJob::askOnceAtTheEnd(BridgeIdentity& lead, MeterRun& run) {
    std::string version;
    if (bus_.ask(lead, version) != Asked::Answered) {
        return;
    }
    end_.lastAnswer = bus_.now();
    if (!end_.given.empty() && version == end_.given) {
        endAttemptWith(judgeAnswer(version, run), run);
    } else if (version != end_.lastVersion) {
        end_.nextUnit = version;
    }
}

// Asks until an answer, the lead leaving, or kListenBeforeRetry; an answer from another meter
// becomes the next unit. NoWord: the lead was held by someone all along.
MeterJob::Heard MeterJob::listenBeforeRetry(BridgeIdentity& lead) {
    lane_.phase(Phase::Checking);
    const MeterBus::Clock::time_point until = bus_.now() + kListenBeforeRetry;
    bool heardSilence = false;
    // The last ask comes right before the retry's pulse, so a meter clipped on meanwhile has
    // as little time as can be to go unheard.
    for (int misses = 0; !stopped();) {
        std::string version;
        const Asked asked = bus_.ask(lead, version);
        if (asked == Asked::Answered) {
            end_.lastAnswer = bus_.now();
            if (!end_.given.empty() && version == end_.given) {
                return Heard::TheImagesVersion;
            }
            // Only a meter that answers at once, never silent since its attempt, answers in
            // the state it was left in; after a silence it may be another meter clipped on.
            if (version == end_.lastVersion && !heardSilence) {
                return Heard::ItsOwnVersion;
            }
            end_.nextUnit = version;
            return Heard::AnotherVersion;
        }
        // A reply that is no version is no answer either: the same meter, not a new one.
        heardSilence = heardSilence || asked == Asked::Silent || asked == Asked::NotAVersion;
        misses = asked == Asked::Gone ? misses + 1 : 0;
        if (asked == Asked::CannotTell || misses >= kMissesForGone) {
            return Heard::Left;
        }
        if (bus_.now() >= until) {
            return heardSilence ? Heard::Silence : Heard::NoWord;
        }
        bus_.pause(kAskEvery);
    }
    return Heard::NoWord;
}

// A later word changes how the last attempt ended: the unit's end and the attempt's agree.
void MeterJob::endAttemptWith(Outcome code, MeterRun& run) {
    run.endWith(code);
    run.attemptResults.back().outcome = code;
}

bool MeterJob::stopped() const {
    return stop_.afterTransfer != nullptr && stop_.afterTransfer();
}

} // namespace pxr7
