// The bench's decisions in process: which lead a command works on, what an upgrade plans to
// do with each bridge, what a failure is said to be, and the one table of exit codes that the
// documents must list exactly.
#include "diagnosis.h"
#include "exit_codes.h"
#include "lead_command.h"
#include "lead_setup.h"
#include "lead_setup_steps.h"
#include "outcome_print.h"
#include "rig_files.h"
#include "station_pace.h"
#include "upgrade.h"
#include "upgrade_plan.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>

namespace pxr7 {
namespace {

BridgeReport bridge(int index, BridgeState state, const std::string& serial,
                    const std::string& version = "") {
    BridgeReport report;
    report.identity.index = index;
    report.identity.serialNumber = serial;
    report.state = state;
    report.version = version;
    return report;
}

const BridgeReport kMeter = bridge(0, BridgeState::MeterAnswered, "PX7A0000", "PXR7 V1.02");
const BridgeReport kCurrent = bridge(1, BridgeState::MeterAnswered, "PX7A0001", "PXR7 V1.03");
const BridgeReport kFresh = bridge(2, BridgeState::NeedsSetup, "A50285BI");
const BridgeReport kForeign = bridge(3, BridgeState::NotAMeterLead, "FTXYZ");
const BridgeReport kBusy = bridge(4, BridgeState::Busy, "");

// A clone of another lead's serial number, where the driver cannot say where it is plugged in.
BridgeReport clone(int index) {
    BridgeReport report = bridge(index, BridgeState::MeterAnswered, "A50285BI", "PXR7 V1.02");
    report.identity.serialShared = true;
    return report;
}

struct PlanCase {
    const char* name;
    std::vector<BridgeReport> reports;
    Selection selection;
    bool skipIfCurrent;
    Outcome refusal;                // the plan's outcome
    std::vector<std::string> sent;  // serials to upgrade
    std::vector<std::string> setUp; // serials to set up first
    std::map<std::string, Outcome> settled;
    const char* diagnosisPart;
};

Selection serial(const char* s) {
    Selection selection;
    selection.serial = s;
    return selection;
}

Selection all() {
    Selection selection;
    selection.all = true;
    return selection;
}

// Rows that select nothing say Selection(), not {}: built member by member inside this table,
// GCC's optimiser loses sight of the selection's string and warns it may be uninitialised.
const PlanCase kPlans[] = {
    {"TheOnlyLeadBesideAForeignBridge",
     {kForeign, kMeter},
     Selection(),
     false,
     Outcome::Ok,
     {"PX7A0000"},
     {},
     {},
     ""},
    {"TwoLeadsAndNoSelector",
     {kMeter, kCurrent},
     Selection(),
     false,
     Outcome::Ambiguous,
     {},
     {},
     {},
     "2 meter leads"},
    {"OnlyABusyBridge",
     {kForeign, kBusy},
     Selection(),
     false,
     Outcome::Busy,
     {},
     {},
     {},
     "bridge 4"},
    {"NoLeadAtAll",
     {kForeign},
     Selection(),
     false,
     Outcome::NotAMeterLead,
     {},
     {},
     {},
     "no PXR7 meter"},
    {"SelectedBridgeIsForeign",
     {kForeign},
     serial("FTXYZ"),
     false,
     Outcome::NotAMeterLead,
     {},
     {},
     {},
     "is not a meter lead"},
    {"SelectionFindsNothing",
     {},
     serial("NOPE"),
     false,
     Outcome::NotAMeterLead,
     {},
     {},
     {},
     "no bridge with serial number NOPE"},
    {"AFactoryLeadIsSetUpFirst",
     {kFresh},
     Selection(),
     false,
     Outcome::Ok,
     {},
     {"A50285BI"},
     {},
     ""},
    {"CurrentIsLeftAloneOnlyWhenAsked",
     {kCurrent},
     Selection(),
     true,
     Outcome::Ok,
     {},
     {},
     {{"PX7A0001", Outcome::Ok}},
     ""},
    {"CurrentIsUpgradedByDefault",
     {kCurrent},
     Selection(),
     false,
     Outcome::Ok,
     {"PX7A0001"},
     {},
     {},
     ""},
    {"AllSkipsCurrentAndSetsUpFreshLeadsFirst",
     {kMeter, kCurrent, kFresh, kForeign},
     all(),
     true,
     Outcome::Ok,
     {"PX7A0000"},
     {"A50285BI"},
     {{"PX7A0001", Outcome::Ok}},
     ""},
    {"LookAlikeLeadsAreNeverGuessedAt",
     {clone(5)},
     Selection(),
     false,
     Outcome::Ambiguous,
     {},
     {},
     {},
     "cannot tell where each is plugged in"},
    {"AllLeavesLookAlikesOutLoudly",
     {kMeter, clone(5)},
     all(),
     false,
     Outcome::Ok,
     {"PX7A0000"},
     {},
     {{"A50285BI", Outcome::Ambiguous}},
     ""},
    {"AllAccountsForBridgesItCannotReach",
     {kMeter, kBusy},
     all(),
     false,
     Outcome::Ok,
     {"PX7A0000"},
     {},
     {{"", Outcome::Busy}},
     ""},
    {"AllWithNoLead", {kForeign}, all(), false, Outcome::NotAMeterLead, {}, {}, {}, "no PXR7"},
};

class PlanTest : public testing::TestWithParam<PlanCase> {};

std::vector<std::string> serials(const std::vector<BridgeReport>& reports) {
    std::vector<std::string> out;
    for (const BridgeReport& report : reports) {
        out.push_back(report.identity.serialNumber);
    }
    return out;
}

TEST_P(PlanTest, DecidesBeforeAnythingIsWritten) {
    const PlanCase& c = GetParam();
    const UpgradePlan plan =
        planUpgrade(c.reports, UpgradeRequest{c.selection, c.skipIfCurrent, "PXR7 V1.03"});
    EXPECT_EQ(plan.refusal.outcome, c.refusal);
    EXPECT_NE(plan.refusal.diagnosis.find(c.diagnosisPart), std::string::npos)
        << plan.refusal.diagnosis;
    EXPECT_EQ(serials(plan.upgrade), c.sent);
    EXPECT_EQ(serials(plan.setUp), c.setUp);
    std::map<std::string, Outcome> settled;
    for (const MeterRun& run : plan.settled) {
        settled[run.serial] = run.code();
    }
    EXPECT_EQ(settled, c.settled);
}

INSTANTIATE_TEST_SUITE_P(Bench, PlanTest, testing::ValuesIn(kPlans),
                         [](const testing::TestParamInfo<PlanCase>& param) {
                             return std::string(param.param.name);
                         });

TEST(Diagnosis, SaysTheWaitsTheTransferUsesAndWhereItStopped) {
    UpgradeOutcome outcome;
    outcome.result = UpgradeResult::HandshakeFailed;
    outcome.fault = TransferFault::NoReply;
    outcome.recordCount = 314;
    const std::string ms = std::to_string(kHandshakeWait.count()) + " ms";
    EXPECT_NE(diagnose(outcome).find("within " + ms), std::string::npos) << diagnose(outcome);
    outcome.phase = TransferPhase::Records;
    outcome.nextRecord = 100;
    const std::string line = diagnose(outcome);
    EXPECT_NE(line.find("after 100 of 314 records"), std::string::npos) << line;
    EXPECT_NE(line.find(std::to_string(kRecordWait.count()) + " ms"), std::string::npos);
    EXPECT_EQ(line.find("reset pulse"), std::string::npos);
}

// A driver that did not load is answered with the library of the backend chosen: libftdi1's
// users are never sent to FTDI's library, nor D2XX users to libftdi1's package.
TEST(Diagnosis, MissingDriverAdviceFitsTheBackend) {
    const struct {
        BackendChoice choice;
        const char* says;
        const char* never;
    } rows[] = {
        {{"", "libftdi"}, "Install libftdi1 (Debian: libftdi1-2).", "D2XX"},
        {{"", "d2xx"}, "Install FTDI's D2XX library", "libftdi1-2"},
        {{"/opt/libftd2xx.so", ""}, "at /opt/libftd2xx.so could not be used", "libftdi1-2"},
    };
    for (const auto& row : rows) {
        const std::string line = diagnoseMissingLibrary(row.choice, "not found");
        EXPECT_NE(line.find(row.says), std::string::npos) << line;
        EXPECT_EQ(line.find(row.never), std::string::npos) << line;
        EXPECT_NE(line.find("(not found)"), std::string::npos) << line;
    }
}

// docs/json.md lists exactly the table's codes and words (the README shows the help, whose
// footer is made from the table, and a command-line test holds the README to the help).
TEST(ExitCodes, TheJsonDocumentListsExactlyTheTable) {
    const std::string doc = simrig::fileText(PXR7_JSON_DOC_PATH);
    std::map<int, std::string> documented;
    const std::regex row(R"(\n\| (\d+) \| `(\w+)` \|)");
    for (auto it = std::sregex_iterator(doc.begin(), doc.end(), row); it != std::sregex_iterator();
         ++it) {
        documented[std::stoi((*it)[1])] = (*it)[2];
    }
    std::map<int, std::string> table;
    std::size_t count = 0;
    const ExitCodeRow* rows = exitCodeRows(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (rows[i].outcome != Outcome::Ok) {
            table[exitCodeOf(rows[i].outcome)] = rows[i].word;
        }
        EXPECT_STREQ(errorWordFor(rows[i].outcome), rows[i].word);
    }
    EXPECT_EQ(documented, table);
}

// Every outcome the program can end with, named so that one added to the enumeration without a
// case here does not build (-Wswitch): it must then get its row in the table too.
bool isNamedOutcome(Outcome outcome) {
    switch (outcome) {
    case Outcome::Ok:
    case Outcome::FailureOther:
    case Outcome::Usage:
    case Outcome::NoDriver:
    case Outcome::PortError:
    case Outcome::BridgeReprogrammed:
    case Outcome::HandshakeFailed:
    case Outcome::ImageProblem:
    case Outcome::Cancelled:
    case Outcome::LeadSetupFailed:
    case Outcome::NotAMeterLead:
    case Outcome::Busy:
    case Outcome::TransferStopped:
    case Outcome::VerifyFailed:
    case Outcome::Ambiguous:
    case Outcome::MeterSilent:
    case Outcome::NeedsSetup:
    case Outcome::StationFailures:
    case Outcome::RecordFailed:
    case Outcome::ServeFailed:
    case Outcome::DatabaseFailed:
    case Outcome::ResetIgnored:
    case Outcome::RecordAltered:
    case Outcome::Hangup:
    case Outcome::Interrupted:
    case Outcome::Quit:
    case Outcome::Terminated:
        return true;
    }
    return false;
}

// An outcome without its row would end with no words, no advice and no line in the help; a
// number that is no outcome (a newer program's, read back from data) must stay a number.
TEST(ExitCodes, EveryOutcomeHasOneRowAndEveryOtherNumberNone) {
    std::size_t count = 0;
    const ExitCodeRow* rows = exitCodeRows(count);
    std::size_t named = 0;
    for (int code = 0; code < 256; ++code) {
        const Outcome outcome = static_cast<Outcome>(code);
        if (!isNamedOutcome(outcome)) {
            EXPECT_EQ(outcomeOfCode(code), std::nullopt) << code;
            continue;
        }
        ++named;
        const ExitCodeRow* row = rowOf(outcome);
        ASSERT_NE(row, nullptr) << code;
        EXPECT_EQ(row->outcome, outcome);
        EXPECT_EQ(outcomeOfCode(code), outcome);
        EXPECT_EQ(rowOfWord(row->word), outcome == Outcome::Ok ? nullptr : row) << code;
        EXPECT_NE(std::string(row->help), "") << code;
    }
    EXPECT_EQ(named, count) << "a row for a value that is no outcome, or one outcome twice";
    for (std::size_t i = 1; i < count; ++i) {
        EXPECT_LT(exitCodeOf(rows[i - 1].outcome), exitCodeOf(rows[i].outcome));
    }
}

// The guide's "What to do" column is the table's advice, so what the program says after a
// failure and what the guide says cannot drift apart.
TEST(ExitCodes, TheGuideGivesTheTablesAdviceForEachCode) {
    const std::string guide = simrig::fileText(PXR7_GUIDE_PATH);
    std::map<int, std::string> documented;
    const std::regex row(R"(\n\| ([\d, ]+) \| [^|]+ \| ([^\n]+) \|)");
    for (auto it = std::sregex_iterator(guide.begin(), guide.end(), row);
         it != std::sregex_iterator(); ++it) {
        std::string advice = std::regex_replace((*it)[2].str(), std::regex("`"), "");
        std::istringstream codes((*it)[1].str());
        for (std::string code; std::getline(codes, code, ',');) {
            documented[std::stoi(code)] = advice;
        }
    }
    std::size_t count = 0;
    const ExitCodeRow* rows = exitCodeRows(count);
    for (std::size_t i = 0; i < count; ++i) {
        const int code = exitCodeOf(rows[i].outcome);
        EXPECT_EQ(documented[code], rows[i].advice) << code;
        EXPECT_STREQ(adviceFor(rows[i].outcome), rows[i].advice);
    }
}

// A suggested command names the lead the way the command takes it, as one shell word each.
TEST(LeadCommand, NamesALeadSoTheCommandTakesItAndTheShellLeavesItAlone) {
    struct Case {
        const char* serial;
        bool shared;
        const char* command;
    };
    const Case cases[] = {
        {"PX7A0001", false, "pxr7 setup --serial PX7A0001"},
        {"$(touch x)", false, "pxr7 setup --serial '$(touch x)'"},
        {"it's", false, "pxr7 setup --serial 'it'\\''s'"},
        {"DUPSER", true, "pxr7 setup --index 3"},
        {"", false, "pxr7 setup --index 3"},
        {"bad\x01byte", false, "pxr7 setup --index 3"},
    };
    for (const Case& c : cases) {
        BridgeIdentity lead;
        lead.serialNumber = c.serial;
        lead.serialShared = c.shared;
        lead.index = 3;
        EXPECT_EQ(commandForLead("setup", lead), c.command) << c.serial;
    }
}

// Settings written but not in force ask for a reconnect, as every lead set up does.
TEST(LeadSetup, EachResultHasItsExitCode) {
    const std::pair<SetupResult, Outcome> cases[] = {
        {SetupResult::Done, Outcome::Ok},
        {SetupResult::ProgramFailed, Outcome::LeadSetupFailed},
        {SetupResult::DidNotReturn, Outcome::BridgeReprogrammed},
        {SetupResult::CycleFailed, Outcome::BridgeReprogrammed},
        {SetupResult::DidNotHold, Outcome::LeadSetupFailed},
        {SetupResult::Busy, Outcome::Busy},
    };
    for (const auto& [result, code] : cases) {
        SetupReport report;
        report.result = result;
        EXPECT_EQ(setupResultFor(report).outcome, code) << static_cast<int>(result);
    }
}

// Meters per hour count the recent past, not the first minute nor failures.
TEST(StationPace, CountsGoodMetersOverTheRecentWindow) {
    using namespace std::chrono;
    const StationPace::Clock::time_point start{};
    struct Case {
        const char* name;
        std::vector<std::pair<int, MeterOutcome>> ended; // seconds after the start
        int now;
        std::optional<double> perHour, yield;
    };
    const Case cases[] = {
        {"nothing yet", {}, 30, std::nullopt, std::nullopt},
        {"first seconds say nothing", {{5, MeterOutcome::Ok}}, 10, std::nullopt, 1.0},
        {"since the start", {{5, MeterOutcome::Ok}, {60, MeterOutcome::Ok}}, 120, 60.0, 1.0},
        {"failures and stops are not meters",
         {{5, MeterOutcome::Failed}, {6, MeterOutcome::Stopped}, {7, MeterOutcome::Current}},
         360,
         10.0,
         0.5},
        {"idle brings it down", {{5, MeterOutcome::Ok}}, 3600, 0.0, 1.0},
        {"the last 15 minutes",
         {{100, MeterOutcome::Ok}, {3000, MeterOutcome::Ok}},
         3600,
         4.0,
         1.0},
    };
    for (const Case& c : cases) {
        StationPace pace(start);
        for (const auto& [at, outcome] : c.ended) {
            pace.finished(outcome, start + seconds(at));
        }
        EXPECT_EQ(pace.metersPerHour(start + seconds(c.now)), c.perHour) << c.name;
        EXPECT_EQ(pace.yield(), c.yield) << c.name;
    }
}

} // namespace
} // namespace pxr7
