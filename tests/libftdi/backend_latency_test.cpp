// The libftdi backend's table carries the optional FT_SetLatencyTimer through to the chip.
#include "bridge_library.h"
#include "sim_rig.h"
#include "usb_sim_rig.h"

#include <gtest/gtest.h>

using namespace pxr7;
using usbrig::linesWith;
using usbrig::UsbSimRig;

TEST(LibftdiLatencyTimer, TheTableEntryReachesTheChip) {
    UsbSimRig rig("");
    ASSERT_TRUE(rig.ready());
    ASSERT_TRUE(bridgeHasLatencyTimer());
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(d2xx().FT_Open(0, &handle), FT_OK);
    EXPECT_EQ(d2xx().FT_SetLatencyTimer(handle, 0), FT_INVALID_PARAMETER);
    EXPECT_EQ(d2xx().FT_SetLatencyTimer(handle, 2), FT_OK);
    const auto requests = linesWith(rig.trace(), "request", "SIO_SET_LATENCY_TIMER");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(simrig::valueOf(requests[0], "ms"), "2");
    EXPECT_EQ(d2xx().FT_Close(handle), FT_OK);
}
