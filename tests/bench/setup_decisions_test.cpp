// Who may write a lead's EEPROM, what `setup` does with its lead, an upgrade's plan after a
// setup that failed, the line of a meter that needed nothing, and the record a station needs
// before it starts.
#include "rig_files.h"
#include "setup_choice.h"
#include "setup_consent.h"
#include "station_record.h"
#include "unit_ledger.h"
#include "upgrade_plan.h"

#include <gtest/gtest.h>

namespace pxr7 {
namespace {

// --yes agrees to the upgrade only: an EEPROM is written with --setup, or after a person said
// yes at a terminal.
TEST(SetupConsent, OnlySetupOrAPersonAtATerminalLetsAnEepromBeWritten) {
    struct Case {
        bool setupFlag, assumeYes, canAsk;
        SetupConsent upgrade;
    };
    const Case cases[] = {
        {false, false, false, SetupConsent::None}, {false, false, true, SetupConsent::Ask},
        {false, true, false, SetupConsent::None},  {false, true, true, SetupConsent::None},
        {true, false, false, SetupConsent::Given}, {true, true, false, SetupConsent::Given},
        {true, false, true, SetupConsent::Given},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(upgradeSetupConsent(c.setupFlag, c.assumeYes, c.canAsk), c.upgrade)
            << c.setupFlag << c.assumeYes << c.canAsk;
    }
    EXPECT_EQ(setupCommandConsent(true), SetupConsent::Given);
    EXPECT_EQ(setupCommandConsent(false), SetupConsent::Ask);
}

TEST(SetupChoice, WritesOnlyALeadThatNeedsItAndRefusesOneItCannotRead) {
    const std::pair<BridgeState, SetupStep> cases[] = {
        {BridgeState::NeedsSetup, SetupStep::Write},
        {BridgeState::EepromUnreadable, SetupStep::Refuse},
        {BridgeState::MeterAnswered, SetupStep::AlreadyRight},
        {BridgeState::NoAnswer, SetupStep::AlreadyRight},
    };
    for (const auto& [state, step] : cases) {
        BridgeReport lead;
        lead.state = state;
        const SetupChoice choice = chooseSetupStep(lead);
        EXPECT_EQ(choice.step, step) << static_cast<int>(state);
        EXPECT_EQ(choice.result.outcome,
                  step == SetupStep::Refuse ? Outcome::LeadSetupFailed : Outcome::Ok);
    }
}

// A setup that failed or was cancelled leaves the meter settled with why: nothing is sent.
TEST(UpgradePlan, ALeadWhoseSetupFailedIsNotUpgraded) {
    BridgeReport lead;
    lead.identity.serialNumber = "A50285BI";
    lead.state = BridgeState::NeedsSetup;
    for (const CommandResult& setup :
         {failure(Outcome::Cancelled, ""),
          failure(Outcome::LeadSetupFailed, "pxr7: it did not hold.")}) {
        UpgradePlan plan;
        replanAfterSetup(plan, lead, setup, UpgradeRequest{});
        EXPECT_TRUE(plan.upgrade.empty());
        ASSERT_EQ(plan.settled.size(), 1u);
        EXPECT_EQ(plan.settled[0].code(), setup.outcome);
        EXPECT_EQ(plan.settled[0].diagnosis, setup.diagnosis);
        EXPECT_EQ(plan.settled[0].serial, "A50285BI");
    }
}

// A meter left alone because it is current gets its one line, with who ran the bench.
TEST(UnitLedger, AMeterThatNeededNothingGetsOneLineWithItsOperator) {
    simrig::ScratchFolder scratch;
    ASSERT_FALSE(scratch.empty());
    const std::string path = scratch.path("record.jsonl");
    UnitLedger ledger(path, "upgrade");
    const OperatorName who("Ana");
    ledger.setOperator(&who);
    MeterRun run;
    run.endCurrent();
    run.serial = "PX7A0001";
    run.versionBefore = run.versionAfter = "PXR7 V1.03";
    std::string problem;
    ASSERT_TRUE(ledger.recordUnserved(run, problem)) << problem;
    const std::string text = simrig::fileText(path);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
    EXPECT_NE(text.find("\"result\":\"current\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"operator\":\"Ana\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"command\":\"upgrade\""), std::string::npos) << text;
}

// No station starts on a record it cannot write: the first meter would be upgraded unrecorded.
TEST(StationRecord, AStationStartsOnlyOnARecordItCanWrite) {
    simrig::ScratchFolder scratch;
    ASSERT_FALSE(scratch.empty());
    const StationRecord writable = stationRecordFor(scratch.path("record.jsonl"));
    EXPECT_TRUE(writable.refusal.ok()) << writable.refusal.diagnosis;
    EXPECT_EQ(writable.path, scratch.path("record.jsonl"));
    const StationRecord folder = stationRecordFor(scratch.folder());
    EXPECT_EQ(folder.refusal.outcome, Outcome::RecordFailed);
    EXPECT_NE(folder.refusal.diagnosis.find("The station does not start."), std::string::npos);
    simrig::writeFile(scratch.path("plain"), "a file, not a folder\n");
    const StationRecord nowhere = stationRecordFor(scratch.path("plain/record.jsonl"));
    EXPECT_EQ(nowhere.refusal.outcome, Outcome::RecordFailed) << nowhere.refusal.diagnosis;
}

} // namespace
} // namespace pxr7
