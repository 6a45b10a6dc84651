// The unit rules and the meter pipeline in process, against a scripted bus on a virtual clock:
// what each ask hears, what each transfer comes to, and what must come out: the unit's
// outcome, how many transfers it got, whether another meter is served next, and exactly one
// record line.
#include "exit_codes.h"
#include "meter_job.h"
#include "rig_files.h"
#include "unit_rules.h"

#include <gtest/gtest.h>

#include <deque>
#include <ostream>

namespace pxr7 {
namespace {

using Clock = MeterBus::Clock;
using Heard = UnitPresence::Heard;
using namespace std::chrono_literals;

const std::string kOld = "PXR7 V1.02", kNew = "PXR7 V1.03", kOther = "PXR7 V0.99";

// ---- the unit rules --------------------------------------------------------------------------

enum class Event { Answer, Silence, Busy };
struct Ask {
    int atMs;
    Event event;
    std::string version;
    Heard expected;
};
struct PresenceCase {
    const char* name;
    std::string startVersion, given; // the unit served, and the version it took ("" none)
    std::vector<Ask> asks;
    int startingForMs = 0; // it took the image and was silent: it may start this late
};

void PrintTo(const PresenceCase& c, std::ostream* out) {
    *out << c.name;
}

class UnitRules : public ::testing::TestWithParam<PresenceCase> {};

TEST_P(UnitRules, SayWhenAUnitLeavesAndWhenAnAnswerIsANewOne) {
    const PresenceCase& c = GetParam();
    const Clock::time_point zero{};
    UnitPresence presence;
    if (c.startingForMs > 0) {
        presence.servedStarting(c.startVersion, c.given, zero,
                                std::chrono::milliseconds(c.startingForMs));
    } else {
        presence.served(c.startVersion, c.given, zero);
    }
    for (const Ask& ask : c.asks) {
        const Clock::time_point at = zero + std::chrono::milliseconds(ask.atMs);
        const Heard heard = ask.event == Event::Answer ? presence.answer(ask.version, at)
                            : ask.event == Event::Busy ? presence.busy(at)
                                                       : presence.silence(at);
        EXPECT_EQ(heard, ask.expected) << "at " << ask.atMs << " ms";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnitRules,
    ::testing::Values(PresenceCase{"OkUnitAnswersOnAndStays",
                                   kNew,
                                   kNew,
                                   {{400, Event::Answer, kNew, Heard::SameUnit},
                                    {800, Event::Answer, kNew, Heard::SameUnit}}},
                      PresenceCase{"SwapWithinASecondToAnOldMeterIsANewUnitAtOnce",
                                   kNew,
                                   kNew,
                                   {{400, Event::Silence, "", Heard::StillThere},
                                    {800, Event::Answer, kOld, Heard::NewUnit}}},
                      PresenceCase{"SilenceForASecondFromTheLastAnswerMeansGone",
                                   kNew,
                                   kNew,
                                   {{400, Event::Silence, "", Heard::StillThere},
                                    {1000, Event::Silence, "", Heard::Nothing},
                                    {1200, Event::Answer, kNew, Heard::NewUnit}}},
                      PresenceCase{"BusyIsNotSilence",
                                   kNew,
                                   kNew,
                                   {{400, Event::Busy, "", Heard::StillThere},
                                    {1200, Event::Busy, "", Heard::StillThere},
                                    {1400, Event::Silence, "", Heard::StillThere},
                                    {1500, Event::Answer, kNew, Heard::SameUnit}}},
                      PresenceCase{"FailedUnitMayAnswerItsOldVersionOrTheImages",
                                   kOld,
                                   kNew,
                                   {{300, Event::Answer, kOld, Heard::SameUnit},
                                    {600, Event::Answer, kNew, Heard::SameUnit},
                                    {900, Event::Answer, kOther, Heard::NewUnit}}},
                      // Timed from the last answer, not from the end of the serve: a unit whose
                      // transfer failed has been silent for its whole serve.
                      PresenceCase{"AMeterClippedOnAfterALongFailedServeIsNew",
                                   kOld,
                                   "",
                                   {{25000, Event::Answer, kOld, Heard::NewUnit}}},
                      // One that answered as before at its serve's end is not served again
                      // until it has been taken off.
                      PresenceCase{"FailedMeterAnsweringAsBeforeIsNotANewUnit",
                                   kOld,
                                   "",
                                   {{400, Event::Answer, kOld, Heard::SameUnit},
                                    {800, Event::Answer, kOld, Heard::SameUnit},
                                    {2000, Event::Silence, "", Heard::Nothing},
                                    {2400, Event::Answer, kOld, Heard::NewUnit}}},
                      PresenceCase{"SlowStarterAnswersWithinItsWindowAndStartedLate",
                                   kOld,
                                   kNew,
                                   {{4000, Event::Silence, "", Heard::StillThere},
                                    {9000, Event::Answer, kNew, Heard::StartedLate},
                                    {9400, Event::Answer, kNew, Heard::SameUnit},
                                    {10600, Event::Silence, "", Heard::Nothing}},
                                   10000},
                      PresenceCase{"SlowStarterSilentBeyondItsWindowHasLeft",
                                   kOld,
                                   kNew,
                                   {{10400, Event::Silence, "", Heard::Nothing},
                                    {10800, Event::Answer, kNew, Heard::NewUnit}},
                                   10000}));

// ---- the pipeline ----------------------------------------------------------------------------

struct Heard_ {
    Asked asked;
    std::string version;
};
struct Transfer {
    Outcome code;
    int records; // sent
};

class ScriptedBus : public MeterBus {
public:
    std::deque<Heard_> asks;         // then silence
    std::deque<Transfer> transfers;  // then a whole image
    Clock::time_point silentUntil{}; // asks before this hear silence
    int transfersRun = 0;

    Asked ask(BridgeIdentity&, std::string& version) override {
        now_ += 30ms;
        if (asks.empty() || now_ < silentUntil) {
            return Asked::Silent;
        }
        const Heard_ next = asks.front();
        asks.pop_front();
        version = next.version;
        return next.asked;
    }
    Outcome transfer(const BridgeIdentity&, LaneObserver& lane, const StopCheck&,
                     MeterRun& run) override {
        ++transfersRun;
        now_ += 4s;
        const Transfer t = transfers.empty() ? Transfer{Outcome::Ok, 314} : transfers.front();
        if (!transfers.empty()) {
            transfers.pop_front();
        }
        lane.progress(t.records, 314);
        run.recordsSent = t.records;
        run.recordsTotal = 314;
        return t.code;
    }
    Clock::time_point now() override { return now_; }
    void pause(Clock::duration span) override { now_ += span; }

private:
    Clock::time_point now_{};
};

class QuietLane : public LaneObserver {
public:
    void phase(Phase) override {}
    void progress(std::int32_t, std::int32_t) override {}
    void transferEnded(const UpgradeOutcome&) override {}
};

struct JobCase {
    const char* name;
    std::string answered; // "" : a meter that did not answer
    std::vector<Transfer> transfers;
    std::vector<Heard_> asks;
    const char* result; // the record's word
    int transfersRun;
    std::string nextUnit; // "" none
    int silentForMs = 0;  // before the script's asks
    int recordsSent = -1; // the line's records_sent, where the case says (-1: any)
    std::chrono::seconds verifyWait = kDefaultVerifyWait;
};

void PrintTo(const JobCase& c, std::ostream* out) {
    *out << c.name;
}

class MeterPipeline : public ::testing::TestWithParam<JobCase> {};

const Heard_ kSilent{Asked::Silent, ""};
const Heard_ kBusy{Asked::Busy, ""};
const Heard_ kGone{Asked::Gone, ""};
Heard_ answer(const std::string& version) {
    return Heard_{Asked::Answered, version};
}

TEST_P(MeterPipeline, EndsEachUnitOnceWithItsTrueResult) {
    const JobCase& c = GetParam();
    simrig::ScratchFolder folder;
    const std::string record = folder.path("record.jsonl");
    ScriptedBus bus;
    bus.silentUntil = Clock::time_point{} + std::chrono::milliseconds(c.silentForMs);
    bus.asks.assign(c.asks.begin(), c.asks.end());
    bus.transfers.assign(c.transfers.begin(), c.transfers.end());
    JobSettings settings;
    settings.declaredVersion = kNew;
    settings.retries = 2;
    settings.verifyWait = c.verifyWait;
    settings.watchedAfter = true;
    QuietLane lane;
    UnitLedger ledger(record, "station");
    MeterJob job(bus, settings, lane, StopCheck{}, ledger);
    BridgeIdentity lead;
    lead.serialNumber = "PX7A0000";
    const std::optional<std::string> version =
        c.answered.empty() ? std::nullopt : std::optional<std::string>(c.answered);
    const MeterRun run = job.serve(lead, version, MeterRun());

    EXPECT_STREQ(resultWord(run), c.result);
    EXPECT_EQ(bus.transfersRun, c.transfersRun);
    EXPECT_EQ(run.attempts, c.transfersRun);
    EXPECT_EQ(job.end().nextUnit.value_or(""), c.nextUnit);
    EXPECT_TRUE(job.end().recorded);
    const std::vector<std::string> lines = simrig::traceLines(record);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(std::string("\"result\":\"") + c.result + "\""), std::string::npos);
    if (c.recordsSent >= 0) {
        EXPECT_EQ(run.recordsSent, c.recordsSent);
    }
}

const Outcome kStopped = Outcome::TransferStopped, kNoHandshake = Outcome::HandshakeFailed;

INSTANTIATE_TEST_SUITE_P(
    Cases, MeterPipeline,
    ::testing::Values(
        JobCase{"CurrentMeterIsNotSent", kNew, {}, {}, "current", 0, ""},
        JobCase{"WholeImageAndTheNewVersion", kOld, {}, {answer(kNew)}, "ok", 1, ""},
        JobCase{
            "BusyWhileVerifyingIsNotSilence", kOld, {}, {kBusy, kBusy, answer(kNew)}, "ok", 1, ""},
        JobCase{
            "OldVersionAfterTheImageFails", kOld, {}, {answer(kOld)}, "verification_failed", 1, ""},
        JobCase{"AnyOtherAnswerIsTakenForTheUnitAndFails",
                kOld,
                {},
                {answer(kOther)},
                "verification_failed",
                1,
                ""},
        JobCase{"LeadThatCannotBeToldApartProvesNothing",
                kOld,
                {},
                {{Asked::CannotTell, ""}},
                "verification_failed",
                1,
                ""},
        JobCase{"PulledBeforeVerification", kOld, {}, {kSilent, kGone, kGone}, "port_error", 1, ""},
        JobCase{"StoppedTransferRetriedWhenTheMeterStaysSilent",
                kOld,
                {{kStopped, 240}},
                {answer(kNew)},
                "ok",
                2,
                "",
                9000},
        // The meter was pulled and another clipped on: it answers before the retry's pulse.
        JobCase{"AnotherVersionBeforeTheRetryIsTheNextUnit",
                kOld,
                {{kStopped, 240}},
                {kSilent, answer(kOther)},
                "transfer_stopped",
                1,
                kOther},
        // Its boot loader answers on the old version: still this meter, tried again.
        JobCase{"ItsOwnVersionAtOnceBeforeTheRetryIsTheSameMeter",
                kOld,
                {{kStopped, 240}},
                {answer(kOld), answer(kNew)},
                "ok",
                2,
                ""},
        // Silent, then the old version: the meter was taken off and another clipped on.
        JobCase{"ItsOwnVersionAfterASilenceIsTheNextUnit",
                kOld,
                {{kStopped, 240}},
                {kSilent, answer(kOld)},
                "transfer_stopped",
                1,
                kOld},
        JobCase{"MeterWhoseResetDoesNotTakeEndsOnceAfterItsRetries",
                kOld,
                {{kNoHandshake, 0}, {kNoHandshake, 0}, {kNoHandshake, 0}},
                {answer(kOld), answer(kOld), answer(kOld)},
                "reset_ignored",
                3,
                ""},
        JobCase{"ResetThatTakesOnTheSecondPulse",
                kOld,
                {{kNoHandshake, 0}},
                {answer(kOld), answer(kNew)},
                "ok",
                2,
                ""},
        // The retry after a pulled lead sent nothing: what the first got across stands.
        JobCase{"NoHandshakeOnARetryEndsTheUnitWithWhatTheFirstGotAcross",
                kOld,
                {{kStopped, 121}, {kNoHandshake, 0}},
                {},
                "transfer_stopped",
                2,
                "",
                0,
                121},
        JobCase{"BusyRetryAfterAPullIsNotTheUnitsResult",
                kOld,
                {{kStopped, 121}, {Outcome::Busy, 0}},
                {},
                "transfer_stopped",
                2,
                "",
                0,
                121},
        // Held by someone all through the listen: no word of the meter, no pulse.
        JobCase{"LeadHeldThroughTheListenIsNotPulsedAgain",
                kOld,
                {{kStopped, 121}},
                {kBusy, kBusy, kBusy, kBusy, kBusy, kBusy, kBusy, kBusy},
                "transfer_stopped",
                1,
                ""},
        JobCase{"SlowStarterWithinALongerVerifyWindowIsOk",
                kOld,
                {},
                {answer(kNew)},
                "ok",
                1,
                "",
                24000,
                314,
                std::chrono::seconds(30)},
        JobCase{"RetriesRunOut",
                kOld,
                {{kNoHandshake, 0}, {kStopped, 5}, {kStopped, 5}},
                {},
                "transfer_stopped",
                3,
                ""},
        // Silent for the whole verification, then it answers on the image's version while the
        // lane listens before a retry: the same unit, late.
        JobCase{"LateAnswerOnTheNewVersionVerifiesTheUnit",
                kOld,
                {},
                {answer(kNew)},
                "ok",
                1,
                "",
                14100},
        JobCase{"MeterInItsBootLoaderIsUpgraded", "", {}, {answer(kNew)}, "ok", 1, ""}));

// The line keeps every attempt's evidence, so a pulled lead reads as what it was whatever the
// retry after it said.
TEST(MeterPipelineRecord, TheLineListsEachAttemptAndTheFurthestProgress) {
    simrig::ScratchFolder folder;
    const std::string record = folder.path("record.jsonl");
    ScriptedBus bus;
    bus.transfers = {{kStopped, 121}, {kNoHandshake, 0}};
    JobSettings settings;
    settings.declaredVersion = kNew;
    settings.retries = 2;
    QuietLane lane;
    UnitLedger ledger(record, "station");
    MeterJob job(bus, settings, lane, StopCheck{}, ledger);
    BridgeIdentity lead;
    job.serve(lead, kOld, MeterRun());
    const std::vector<std::string> lines = simrig::traceLines(record);
    ASSERT_EQ(lines.size(), 1u);
    for (const char* part :
         {"\"result\":\"transfer_stopped\"", "\"attempts\":2", "\"records_sent\":121",
          "\"attempt_results\":[{\"result\":\"transfer_stopped\",\"records_sent\":121},"
          "{\"result\":\"handshake_timeout\",\"records_sent\":0}]",
          "\"furthest_attempt\":1", "\"furthest_records_sent\":121"}) {
        EXPECT_NE(lines[0].find(part), std::string::npos) << part << " in " << lines[0];
    }
}

} // namespace
} // namespace pxr7
