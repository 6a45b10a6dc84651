// The way to an upgrade, through the core on a two-bridge bench: the Windows program's
// warning search, or the command line's aim, then the start. The reset pulse goes to the meter
// shown, or nowhere; a bridge that is not a meter lead gets nothing beyond the look at who it
// is, and a serial number two bridges share (or none) is never searched for.
#include "sim_rig.h"
#include "upgrade.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

using namespace pxr7;
using namespace simrig;

namespace {

// A host that only keeps the outcome: the test stops at the start of the reset pulse.
class StartHost : public UpgradeHost {
public:
    void setTimer(UpgradeTimer, std::chrono::milliseconds) override {}
    void killTimer(UpgradeTimer) override {}
    void progressChanged(const UpgradeProgress&) override {}
    void phaseChanged(UpgradePhase) override {}
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
const std::string kSilent = "version_reply = silent\n"; // a meter left in its boot loader
const std::string kSlowReturn = "reenumerate_ms = 3000\n";
const std::string kQuickReturn = "reenumerate_ms = 50\n";

std::string bench(const std::string& global, const std::string& bridge0,
                  const std::string& bridge1) {
    return global + "[bridge 0]\n" + bridge0 + "[bridge 1]\n" + bridge1;
}

struct BenchCase {
    const char* name;
    std::string scenario;
    const char* shownSerial; // the warning's meter ("" when none is shown); null: aimed instead
    const char* aimSerial;   // with aimIndex, what the command line aims at
    int aimIndex;
    int pulsedBridge; // -1: the upgrade must not start ("No devices found")
    int foreignIndex; // somebody else's bridge, or -1
};

void PrintTo(const BenchCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

class ShownMeterTest : public ::testing::TestWithParam<BenchCase> {};

TEST_P(ShownMeterTest, TheResetPulseGoesToTheMeterShown) {
    const BenchCase& c = GetParam();
    SimRig rig(c.scenario);
    ASSERT_TRUE(rig.ready());
    StartHost host;
    Upgrade upgrade(host);
    if (c.shownSerial != nullptr) {
        const PreUpgradeCheck check = upgrade.checkBeforeStart(IMAGE_RESOURCE_ID);
        EXPECT_EQ(check.meter ? check.meter->serialNumber : std::string(), c.shownSerial);
        if (check.leadReprogrammed) {
            // The user reads the warning while the reprogrammed lead comes back.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    } else {
        upgrade.chooseImage(IMAGE_RESOURCE_ID);
        upgrade.aimAt(c.aimSerial, c.aimIndex);
    }
    upgrade.start([] { return true; });
    const std::vector<std::string> trace = rig.trace();
    for (int bridge = 0; bridge < 2; ++bridge) {
        const int pulses = countCalls(linesOfBridge(trace, bridge), "FT_SetDtr");
        EXPECT_EQ(pulses, bridge == c.pulsedBridge ? 1 : 0) << "bridge " << bridge;
    }
    EXPECT_LE(countCalls(trace, "FT_EE_Program"), 1);
    if (c.pulsedBridge < 0) {
        ASSERT_EQ(host.outcomes.size(), 1u);
        EXPECT_EQ(host.outcomes[0].result, UpgradeResult::LeadReprogrammed);
    } else {
        EXPECT_TRUE(host.outcomes.empty());
        EXPECT_TRUE(upgrade.progress().active);
    }
    // Somebody else's bridge is only ever asked who it is.
    if (c.foreignIndex >= 0) {
        for (const std::string& line : linesOfBridge(trace, c.foreignIndex)) {
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

const std::string kSharedSerial = "serial = PX7A0001\n";
const std::string kNoSerial = "serial = \"\"\n";

INSTANTIATE_TEST_SUITE_P(
    Benches, ShownMeterTest,
    ::testing::Values(
        BenchCase{"ForeignThenMeter", bench(kSlowReturn, kForeign, kMeter), "PX7A0001", "", 0, 1,
                  0},
        BenchCase{"MeterThenForeign", bench(kSlowReturn, kMeter, kForeign), "PX7A0000", "", 0, 0,
                  1},
        BenchCase{"FactoryLeadThenMeter", bench(kSlowReturn, kFactory, kMeter), "", "", 0, -1, -1},
        BenchCase{"MeterThenFactoryLead", bench(kSlowReturn, kMeter, kFactory), "PX7A0000", "", 0,
                  0, -1},
        // Cloned chips: the silent lead on bridge 0 carries the shown meter's serial number.
        BenchCase{"SharedSerialSilentLeadThenMeter",
                  bench(kSlowReturn, kSharedSerial + kSilent, kMeter), "PX7A0001", "", 0, 1, -1},
        BenchCase{"NoSerialSilentLeadThenMeter",
                  bench(kSlowReturn, kNoSerial + kSilent, kNoSerial + kMeter), "", "", 0, 1, -1},
        // A lone factory-fresh lead, set up by the warning's search, is upgraded once back;
        // not if another bridge carries its serial number.
        BenchCase{"LoneFactoryLead", kQuickReturn + "[bridge 0]\n" + kFactory, "", "", 0, 0, -1},
        BenchCase{"FactoryLeadBesideItsClone",
                  bench(kQuickReturn, kFactory, "serial = PX7A0000\n" + kSilent), "", "", 0, -1,
                  -1},
        // The command line's aim: followed elsewhere only by a serial number no other has.
        BenchCase{"AimedMeterMovedUnique", bench(kSlowReturn, kMeter, kMeter), nullptr, "PX7A0001",
                  0, 1, -1},
        BenchCase{"AimedMeterMovedShared",
                  bench(kSlowReturn, kMeter, kForeign + "serial = PX7A0000\n"), nullptr, "PX7A0000",
                  1, -1, 1},
        BenchCase{"AimedNoSerialElsewhere", bench(kSlowReturn, kMeter, kNoSerial + kMeter), nullptr,
                  "", 0, -1, -1},
        BenchCase{"AimedNoSerialInPlace", bench(kSlowReturn, kMeter, kNoSerial + kMeter), nullptr,
                  "", 1, 1, -1}),
    [](const ::testing::TestParamInfo<BenchCase>& caseInfo) { return caseInfo.param.name; });

} // namespace
