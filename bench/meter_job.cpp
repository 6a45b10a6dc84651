#include "meter_job.h"

#include "exit_codes.h"
#include "printable.h"
#include "unit_rules.h"

namespace pxr7 {

namespace {

// How long a restarted meter may take to start its new firmware and answer.
constexpr auto kRestartWait = std::chrono::milliseconds(10000);
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
    run.versionBefore = version.value_or("");
    ticket_ = ledger_.open(run, lead.location);
    if (version && settings_.currentIsDone && !settings_.declaredVersion.empty() &&
        *version == settings_.declaredVersion) {
        run.current = true;
        run.versionAfter = *version;
    } else {
        for (run.attempts = 1;; ++run.attempts) {
            lane_.attemptStarted(run.attempts);
            run.exitCode = attempt(lead, run);
            if (!tryAgain(run.exitCode, lead, run)) {
                break;
            }
        }
    }
    run.index = lead.index;
    run.seconds = std::chrono::duration<double>(bus_.now() - began).count();
    end_.recorded = ledger_.close(ticket_, run, end_.recordProblem);
    return run;
}

int MeterJob::attempt(BridgeIdentity& lead, MeterRun& run) {
    run.diagnosis.clear();
    run.versionAfter.clear();
    CountingObserver counting(lane_, ledger_, ticket_);
    const int code = bus_.transfer(lead, counting, stop_, run);
    if (run.recordsTotal > 0 && run.recordsSent == run.recordsTotal) {
        end_.given = settings_.declaredVersion;
    }
    if (code != EXIT_OK || !settings_.verify) {
        return code;
    }
    return verify(lead, run);
}

// The restarted meter's version, asked through the lead found again each time: never through
// an index that may have shifted, and only an answer that can be this unit counts.
int MeterJob::verify(BridgeIdentity& lead, MeterRun& run) {
    lane_.phase(Phase::Verifying);
    const MeterBus::Clock::time_point deadline = bus_.now() + kRestartWait;
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
            return EXIT_VERIFY_FAILED;
        }
        if (misses >= kMissesForGone) {
            run.diagnosis = "pxr7: the lead was unplugged before the meter's new version could "
                            "be read: plug it in and run pxr7 list.";
            return EXIT_PORT_ERROR;
        }
        if (stopped()) {
            return stop_.exitCode();
        }
        if (bus_.now() >= deadline) {
            run.diagnosis = "pxr7: the meter did not answer after the upgrade. It may need longer "
                            "to start (try --no-verify next time), or it is waiting in its boot "
                            "loader: run upgrade again.";
            return EXIT_METER_SILENT;
        }
        bus_.pause(kAskEvery);
    }
}

// Whatever answers in the verification window is taken for the unit: a meter swapped in
// meanwhile cannot be told from it, and a failure here is never a false "ok".
int MeterJob::judgeAnswer(const std::string& version, MeterRun& run) {
    const std::string& declared = settings_.declaredVersion;
    run.versionAfter = version;
    end_.lastVersion = version;
    if (declared.empty() || version == declared) {
        run.diagnosis.clear();
        return EXIT_OK;
    }
    run.diagnosis = "pxr7: the meter reports " + printable(version) + " after the upgrade, not " +
                    declared + ": the new firmware did not take. Run upgrade again.";
    return EXIT_VERIFY_FAILED;
}

bool MeterJob::tryAgain(int code, BridgeIdentity& lead, MeterRun& run) {
    if (code == EXIT_OK || !isRetryable(code) || run.attempts > settings_.retries || stopped() ||
        end_.nextUnit) {
        return false;
    }
    // A retry whose reset got no handshake: the meter is gone or dead, not stuck.
    if (code == EXIT_HANDSHAKE_FAILED && run.attempts > 1) {
        return false;
    }
    return listenBeforeRetry(lead, run);
}

// A meter that answers now is not the one stuck in its boot loader: a new unit, unless it is
// this one answering late on the version it took whole. Silence means the same meter, waiting
// for a new reset pulse.
bool MeterJob::listenBeforeRetry(BridgeIdentity& lead, MeterRun& run) {
    lane_.phase(Phase::Checking);
    const MeterBus::Clock::time_point until = bus_.now() + kListenBeforeRetry;
    // The last ask comes right before the retry's pulse, so a meter clipped on meanwhile has
    // as little time as can be to go unheard.
    for (int misses = 0; !stopped();) {
        std::string version;
        const Asked asked = bus_.ask(lead, version);
        if (asked == Asked::Answered && !end_.given.empty() && version == end_.given) {
            end_.lastAnswer = bus_.now();
            run.exitCode = judgeAnswer(version, run);
            return false;
        }
        if (asked == Asked::Answered) {
            end_.nextUnit = version;
            return false;
        }
        misses = asked == Asked::Gone ? misses + 1 : 0;
        if (asked == Asked::CannotTell || misses >= kMissesForGone) {
            return false;
        }
        if (bus_.now() >= until) {
            return true;
        }
        bus_.pause(kAskEvery);
    }
    return false;
}

bool MeterJob::stopped() const {
    return stop_.afterTransfer != nullptr && stop_.afterTransfer();
}

} // namespace pxr7
