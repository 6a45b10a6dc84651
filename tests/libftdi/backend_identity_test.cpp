// Lead setup through the libftdi backend: leads alike are told apart by bus and port path, and
// a port cycle that does not re-enumerate is a failure that carries the backend's advice.
#include "bridge_library.h"
#include "bridge_survey.h"
#include "lead_setup.h"
#include "usb_sim_rig.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace pxr7;
using usbrig::linesWith;
using usbrig::UsbSimRig;

namespace {

constexpr auto kQuickReturn = std::chrono::milliseconds(3000);

int eepromWritesOn(const std::vector<std::string>& trace, int bridge) {
    int count = 0;
    for (const std::string& line : linesWith(trace, "request", "SIO_WRITE_EEPROM")) {
        count += line.find(" bridge=" + std::to_string(bridge) + " ") != std::string::npos;
    }
    return count;
}

} // namespace

TEST(LibftdiIdentity, LeadSharingASerialIsSetUpAndFoundAgainByItsPortPath) {
    UsbSimRig rig("reenumerate_ms = 50\n"
                  "[bridge 0]\neeprom = factory\nserial = A50285BI\n"
                  "[bridge 1]\neeprom = factory\nserial = A50285BI\nlocation = 0x02310000\n");
    ASSERT_TRUE(rig.ready());
    ASSERT_TRUE(bridgeHasLocations());
    const std::vector<BridgeReport> reports = surveyBridges(SurveyOptions{});
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].identity.location, std::optional<std::uint32_t>(0x01100000));
    EXPECT_EQ(reports[1].identity.location, std::optional<std::uint32_t>(0x02310000));
    rig.clearTrace();
    EXPECT_EQ(setUpLead(reports[1].identity, kQuickReturn).result, SetupResult::Done);
    EXPECT_EQ(eepromWritesOn(rig.trace(), 0), 0);
    EXPECT_GT(eepromWritesOn(rig.trace(), 1), 0);
}

TEST(LibftdiIdentity, CycleThatDoesNotReenumerateFailsWithTheBackendsAdvice) {
    setenv("PXR7_USB_SIM_RESET", "keep", 1);
    UsbSimRig rig("[bridge 0]\neeprom = factory\n");
    ASSERT_TRUE(rig.ready());
    const std::vector<BridgeReport> reports = surveyBridges(SurveyOptions{});
    ASSERT_EQ(reports.size(), 1u);
    const SetupReport setup = setUpLead(reports[0].identity, kQuickReturn);
    unsetenv("PXR7_USB_SIM_RESET");
    EXPECT_EQ(setup.result, SetupResult::CycleFailed);
    EXPECT_NE(setup.reason.find("unplug it and plug it in again"), std::string::npos)
        << setup.reason;
}
