// The Windows program's way to an upgrade, through the core on a two-bridge bench: the
// warning's search, then the start. The reset pulse goes to the meter the warning showed, or
// nowhere; a bridge that is not a meter lead gets nothing beyond the look at who it is.
#include "sim_rig.h"
#include "upgrade.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

using namespace pxr7;
using namespace simrig;

namespace {

// A host that only keeps the outcome: the test stops at the start of the reset pulse.
class StartHost : public UpgradeHost {
public:
    void setTimer(UpgradeTimer, unsigned) override {}
    void killTimer(UpgradeTimer) override {}
    void invalidate(const UpgradeProgress&, bool) override {}
    void finished(const UpgradeOutcome& outcome) override { outcomes.push_back(outcome); }
    ImageLookup findImage(std::uint32_t id, const std::uint8_t** data,
                          std::uint32_t* size) override {
        return findEmbeddedImage(id, data, size);
    }
    std::vector<UpgradeOutcome> outcomes;
};

const std::string kMeter = "version = PXR7 V1.02\n";
const std::string kFactory = "eeprom = factory\n";
const std::string kForeign = "eeprom = factory\ndescription = USB-Serial Gadget\n";

struct BenchCase {
    const char* name;
    std::string bridge0;
    std::string bridge1;
    const char* shownSerial; // "" when no meter is shown
    int pulsedBridge;        // -1: the upgrade must not start
};

void PrintTo(const BenchCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

class ShownMeterTest : public ::testing::TestWithParam<BenchCase> {};

TEST_P(ShownMeterTest, TheResetPulseGoesToTheMeterShown) {
    const BenchCase& c = GetParam();
    SimRig rig("reenumerate_ms = 3000\n[bridge 0]\n" + c.bridge0 + "[bridge 1]\n" + c.bridge1);
    ASSERT_TRUE(rig.ready());
    StartHost host;
    Upgrade upgrade(host);
    const PreUpgradeCheck check = upgrade.checkBeforeStart(IMAGE_RESOURCE_ID);
    EXPECT_EQ(check.meter ? check.meter->serialNumber : std::string(), c.shownSerial);
    upgrade.start([] { return kConfirmUpgrade; });
    const std::vector<std::string> trace = rig.trace();
    for (int bridge = 0; bridge < 2; ++bridge) {
        const int pulses = countCalls(linesOfBridge(trace, bridge), "FT_SetDtr");
        EXPECT_EQ(pulses, bridge == c.pulsedBridge ? 1 : 0) << "bridge " << bridge;
    }
    if (c.pulsedBridge < 0) {
        ASSERT_EQ(host.outcomes.size(), 1u);
        EXPECT_EQ(host.outcomes[0].result, UpgradeResult::LeadReprogrammed);
    }
    // Somebody else's bridge is only ever asked who it is.
    const int foreignIndex = c.bridge0 == kForeign ? 0 : c.bridge1 == kForeign ? 1 : -1;
    if (foreignIndex >= 0) {
        for (const std::string& line : linesOfBridge(trace, foreignIndex)) {
            EXPECT_TRUE(callName(line) == "FT_GetDeviceInfo" || callName(line) == "FT_Close")
                << line;
        }
    }
    upgrade.stopTimers();
    if (DevicePort* port = upgrade.port()) {
        port->clearDtr();
        port->close();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Benches, ShownMeterTest,
    ::testing::Values(BenchCase{"ForeignThenMeter", kForeign, kMeter, "PX7A0001", 1},
                      BenchCase{"MeterThenForeign", kMeter, kForeign, "PX7A0000", 0},
                      BenchCase{"FactoryLeadThenMeter", kFactory, kMeter, "", -1},
                      BenchCase{"MeterThenFactoryLead", kMeter, kFactory, "PX7A0000", 0}),
    [](const ::testing::TestParamInfo<BenchCase>& caseInfo) { return caseInfo.param.name; });

} // namespace
