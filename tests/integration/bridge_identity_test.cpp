// One physical bridge, one identity: leads that share a serial number or have none are told
// apart by where they sit on the bus; a bridge is re-checked on the handle that will write
// to it; a bridge that vanished is gone, and an unreadable EEPROM is never "right".
#include "bridge_library.h"
#include "bridge_survey.h"
#include "lead_setup.h"
#include "same_bridge.h"
#include "sim_rig.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pxr7;
using namespace simrig;

namespace {

constexpr auto kQuickReturn = std::chrono::milliseconds(3000);

// Trace lines of one call on one bridge, e.g. ("FT_EE_Program", 0).
int callsOn(const std::vector<std::string>& trace, const std::string& call, int bridge) {
    int count = 0;
    for (const std::string& line : trace) {
        count += line.rfind(call + " bridge=" + std::to_string(bridge) + " ", 0) == 0 ? 1 : 0;
    }
    return count;
}

int writesOn(const std::vector<std::string>& trace, int bridge) {
    return callsOn(trace, "FT_EE_Program", bridge) + callsOn(trace, "FT_CyclePort", bridge);
}

std::string twoLeads(const char* serialLine) {
    return std::string("reenumerate_ms = 50\n[bridge 0]\neeprom = factory\n") + serialLine +
           "[bridge 1]\neeprom = factory\n" + serialLine;
}

// The FT_GetDeviceInfoDetail-less library: the bound table without the location calls.
struct NoLocations {
    D2xxTable table;
    NoLocations() : table(d2xx()) {
        table.FT_CreateDeviceInfoList = nullptr;
        table.FT_GetDeviceInfoDetail = nullptr;
        installBridgeTable(&table);
    }
};

} // namespace

TEST(BridgeIdentity, LeadsAlikeAreToldApartByLocationAndOnlyTheOneShownIsWritten) {
    const struct {
        const char* name;
        const char* serialLine;
    } cases[] = {
        {"shared serial", "serial = A50285BI\n"},
        {"no serial", "serial = \"\"\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimRig rig(twoLeads(c.serialLine));
        ASSERT_TRUE(rig.ready());
        const std::vector<BridgeReport> reports = surveyBridges(SurveyOptions{});
        ASSERT_EQ(reports.size(), 2u);
        for (const BridgeReport& report : reports) {
            EXPECT_EQ(report.state, BridgeState::NeedsSetup);
            EXPECT_TRUE(report.identity.serialShared);
            ASSERT_TRUE(report.identity.location.has_value());
        }
        EXPECT_NE(reports[0].identity.location, reports[1].identity.location);
        rig.clearTrace();

        // Confirmed Done only if the bridge that came back holding the settings is bridge 1:
        // bridge 0 still holds the factory ones.
        EXPECT_EQ(setUpLead(reports[1].identity, kQuickReturn).result, SetupResult::Done);
        EXPECT_EQ(writesOn(rig.trace(), 0), 0);
        EXPECT_EQ(writesOn(rig.trace(), 1), 2);
        const FindResult again = findSameBridge(reports[1].identity);
        EXPECT_EQ(again.outcome, FindOutcome::Found);
        EXPECT_EQ(again.index, 1);
    }
}

TEST(BridgeIdentity, WithoutLocationsUniqueSerialsStillWorkAndLeadsAlikeAreNeverGuessed) {
    {
        SimRig rig("reenumerate_ms = 50\n[bridge 0]\n[bridge 1]\neeprom = factory\n");
        ASSERT_TRUE(rig.ready());
        NoLocations without;
        const std::vector<BridgeReport> reports = surveyBridges(SurveyOptions{});
        ASSERT_EQ(reports.size(), 2u);
        EXPECT_FALSE(reports[1].identity.serialShared);
        EXPECT_EQ(setUpLead(reports[1].identity, kQuickReturn).result, SetupResult::Done);
        EXPECT_EQ(findSameBridge(reports[0].identity).outcome, FindOutcome::Found);
    }
    SimRig rig(twoLeads("serial = A50285BI\n"));
    ASSERT_TRUE(rig.ready());
    NoLocations without;
    const std::vector<BridgeReport> reports = surveyBridges(SurveyOptions{});
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_TRUE(reports[1].identity.serialShared);
    EXPECT_FALSE(reports[1].identity.location.has_value());
    rig.clearTrace();
    EXPECT_EQ(setUpLead(reports[1].identity, kQuickReturn).result, SetupResult::CannotTellApart);
    EXPECT_EQ(writesOn(rig.trace(), 0) + writesOn(rig.trace(), 1), 0);
    EXPECT_EQ(findSameBridge(reports[1].identity).outcome, FindOutcome::Ambiguous);
}

TEST(BridgeIdentity, ABridgeThatLeftBetweenTheLookAndTheOpenIsNeverWritten) {
    // Bridge 0 is pulled once its probe is closed; the index then reaches another gadget.
    const char* scenario = "[bridge 0]\neeprom = factory\nunplug_after_opens = 1\n"
                           "[bridge 1]\ndevice_type = 8\ndescription = \"Other gadget\"\n";
    {
        SimRig rig(scenario);
        ASSERT_TRUE(rig.ready());
        BridgeIdentity shown;
        ASSERT_TRUE(probeBridge(0, shown));
        EXPECT_EQ(setUpLead(shown, kQuickReturn).result, SetupResult::NotTheSame);
        for (const std::string& line : rig.trace()) {
            EXPECT_EQ(line.rfind("FT_EE_", 0), std::string::npos) << line;
            EXPECT_EQ(line.rfind("FT_Write", 0), std::string::npos) << line;
        }
    }
    // The survey: index 0 now holds somebody else, index 1 is past the end of the bus.
    SimRig rig(scenario);
    ASSERT_TRUE(rig.ready());
    const std::vector<BridgeReport> reports = surveyBridges(SurveyOptions{});
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].state, BridgeState::Gone);
    EXPECT_EQ(reports[1].state, BridgeState::Gone);
    EXPECT_EQ(reports[1].status, FT_DEVICE_NOT_FOUND);
    EXPECT_FALSE(isLeadReport(reports[0]));
}

// A lead's meter still answers; a factory-fresh bridge, which may be somebody's adapter, is
// not set up for the question without consent.
TEST(BridgeIdentity, UnreadableEepromIsReportedAsSuchAndNothingIsWritten) {
    const struct {
        const char* eeprom;
        const char* version;
    } rows[] = {{"right", "PXR7 V1.02"}, {"factory", ""}};
    for (const auto& row : rows) {
        SimRig rig(std::string("[bridge 0]\neeprom = ") + row.eeprom + "\neeprom_read = fail\n");
        ASSERT_TRUE(rig.ready());
        const std::vector<BridgeReport> reports = surveyBridges(SurveyOptions{});
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(reports[0].state, BridgeState::EepromUnreadable);
        EXPECT_TRUE(isLeadReport(reports[0]));
        EXPECT_EQ(reports[0].version, row.version) << row.eeprom;
        EXPECT_EQ(countPrefixed(rig.trace(), "FT_SetBaudRate"), row.version[0] ? 1 : 0);
        EXPECT_EQ(setUpLead(reports[0].identity, kQuickReturn).result,
                  SetupResult::EepromUnreadable);
        EXPECT_EQ(writesOn(rig.trace(), 0), 0);
    }
}
