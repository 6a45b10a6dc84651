// The libftdi backend's table carries the optional FT_SetLatencyTimer: the program sees it
// as bound, and a call reaches the chip as libftdi1's latency request.
#include "bridge_library.h"
#include "sim_rig.h"
#include "usb_sim_rig.h"

#include <gtest/gtest.h>

#include <string>

using namespace pxr7;
using usbrig::linesWith;
using usbrig::UsbSimRig;

TEST(LibftdiLatencyTimer, TheTableEntryReachesTheChip) {
    UsbSimRig rig("");
    ASSERT_TRUE(rig.ready());
    ASSERT_TRUE(bridgeHasLatencyTimer());
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(d2xx().FT_Open(0, &handle), FT_OK);
    rig.clearTrace();
    const struct {
        std::uint8_t ms;
        FT_STATUS status;
        std::size_t requests;
    } cases[] = {{2, FT_OK, 1}, {0, FT_INVALID_PARAMETER, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(d2xx().FT_SetLatencyTimer(handle, c.ms), c.status) << int{c.ms};
        const auto requests = linesWith(rig.trace(), "request", "SIO_SET_LATENCY_TIMER");
        ASSERT_EQ(requests.size(), c.requests) << int{c.ms};
        if (c.requests > 0) {
            EXPECT_EQ(simrig::valueOf(requests[0], "ms"), std::to_string(c.ms));
        }
        rig.clearTrace();
    }
    EXPECT_EQ(d2xx().FT_Close(handle), FT_OK);
}
