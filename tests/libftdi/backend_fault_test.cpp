// The libftdi backend when a port reset leaves the bridge as it was: the user is asked to plug
// the lead in again. What every backend owes when things go wrong (hostile handles and
// arguments, a pulled lead, a refused EEPROM write or open) is in tests/contract.
#include "bridge_library.h"
#include "device_port.h"
#include "ftdi_backend.h"
#include "usb_sim_rig.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace pxr7;
using usbrig::UsbSimRig;

TEST(LibftdiFaults, ResetThatKeepsTheOldDescriptorsAsksForAReplug) {
    setenv("PXR7_USB_SIM_RESET", "keep", 1);
    UsbSimRig rig("[bridge 0]\neeprom = factory\n");
    ASSERT_TRUE(rig.ready());
    DevicePort port;
    ASSERT_EQ(port.openAndConfigure(0, 115200, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
    ASSERT_EQ(port.ensureBridgeConfig(false), FT_OK);
    ASSERT_EQ(d2xx().FT_EE_Program(port.handle, &port.eeprom), FT_OK);
    EXPECT_NE(d2xx().FT_CyclePort(port.handle), FT_OK);
    EXPECT_NE(std::string(libftdiLastError()).find("plug it in again"), std::string::npos)
        << libftdiLastError();
    port.close();
}
