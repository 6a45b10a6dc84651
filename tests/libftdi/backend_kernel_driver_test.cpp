// The kernel's serial driver (ftdi_sio) and the libftdi backend: left on every bridge the
// program only looks at, detached only while it talks to a bridge and always given back; a
// bridge that cannot be had says why, in the backend's own words. And the backend a run
// chooses by itself while ftdi_sio holds FT232R bridges.
#include "backend.h"
#include "bridge_identity.h"
#include "bridge_library.h"
#include "device_port.h"
#include "rig_files.h"
#include "usb_sim_rig.h"
#include "version_query.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace pxr7;
using usbrig::UsbSimRig;

namespace {

// The kernel driver's moves in the trace, in order: "D0" detached from bridge 0, "A0" attached.
std::string driverMoves(const std::vector<std::string>& trace) {
    std::string moves;
    for (const std::string& line : trace) {
        const std::string call = simrig::callName(line);
        // Explicitly, or along with a claim or release (libusb's auto-detach).
        const bool detach =
            call == "libusb_detach_kernel_driver" ||
            (call == "libusb_claim_interface" && simrig::valueOf(line, "detached") == "1");
        const bool attach =
            call == "libusb_attach_kernel_driver" ||
            (call == "libusb_release_interface" && simrig::valueOf(line, "reattached") == "1");
        if (detach || attach) {
            moves += (detach ? "D" : "A") + simrig::valueOf(line, "bridge");
        }
    }
    return moves;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(LibftdiKernelDriver, LeftOnBridgesLookedAtDetachedOnceForTalkAndGivenBack) {
    UsbSimRig rig("[bridge 0]\nversion = PXR7 V1.02\n[bridge 1]\neeprom = factory\n"
                  "[bridge 2]\ndescription = \"Bench multimeter\"\n");
    ASSERT_TRUE(rig.ready());
    // Who each bridge is and the lead's settings: the serial ports stay the user's.
    for (int i = 0; i < 3; ++i) {
        BridgeIdentity identity;
        EXPECT_TRUE(probeBridge(i, identity)) << i;
    }
    DevicePort look;
    ASSERT_EQ(look.open(1), FT_OK);
    EXPECT_EQ(look.inspectEeprom(), DevicePort::EepromCheck::NeedsCorrection);
    look.close();
    EXPECT_EQ(driverMoves(rig.trace()), "");
    // Talking to the meter: one detach for the whole session, one attach at close.
    DevicePort port;
    ASSERT_EQ(
        port.openAndConfigure(0, kVersionQueryBaud, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE),
        FT_OK);
    char version[kVersionTextSize];
    EXPECT_TRUE(queryMeterVersion(port, version, ReplyReading::ExactFrame));
    EXPECT_EQ(port.setDtr(1), FT_OK);
    EXPECT_EQ(driverMoves(rig.trace()), "D0");
    port.close();
    EXPECT_EQ(driverMoves(rig.trace()), "D0A0");
}

TEST(LibftdiKernelDriver, ABridgeThatCannotBeHadSaysWhyAndKeepsItsDriver) {
    const struct {
        const char* keys;
        bool opens; // FT_Open succeeds: the refusal comes with the first serial call
        std::vector<std::string> words;
    } cases[] = {
        {"open = fail",
         false,
         {"no permission on its USB device node /dev/bus/usb/001/", "60-pxr7.rules",
          "MODE=\"0660\", GROUP=\"plugdev\""}},
        {"held_by = other_program", true, {"another program is using it"}},
    };
    for (const auto& c : cases) {
        UsbSimRig rig(std::string("[bridge 0]\n") + c.keys + "\n");
        ASSERT_TRUE(rig.ready());
        DevicePort port;
        EXPECT_EQ(port.open(0) == FT_OK, c.opens) << c.keys;
        if (c.opens) {
            EXPECT_NE(port.configure(kVersionQueryBaud, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE),
                      FT_OK)
                << c.keys;
            port.close();
        }
        for (const std::string& word : c.words) {
            EXPECT_TRUE(contains(bridgeOpenFailure(0), word))
                << c.keys << ": " << bridgeOpenFailure(0);
        }
        EXPECT_EQ(bridgeOpenFailure(1), "");
        EXPECT_EQ(driverMoves(rig.trace()), "") << c.keys;
    }
}

// Fake sysfs trees: ftdi_sio holding an FT232R, and holding only some other FTDI chip.
void layOutSysfs(const std::string& root, const char* product) {
    const std::string device = root + "/bus/usb/devices/1-1";
    std::filesystem::create_directories(device);
    std::filesystem::create_directories(root + "/bus/usb/drivers/ftdi_sio/1-1:1.0");
    simrig::writeFile(device + "/idVendor", "0403\n");
    simrig::writeFile(device + "/idProduct", std::string(product) + "\n");
    simrig::writeFile(root + "/bus/usb/drivers/ftdi_sio/1-1:1.0/bInterfaceNumber", "00\n");
    simrig::writeFile(root + "/bus/usb/drivers/ftdi_sio/unbind", "");
}

TEST(LibftdiKernelDriver, WithNothingChosenFtdiSiosHoldChoosesLibftdi) {
    UsbSimRig rig("[bridge 0]\n");
    ASSERT_TRUE(rig.ready());
    // ftdi_sio holding an FT232R, then only another FTDI chip (an FT2232, 0403:6010).
    for (const char* product : {"6001", "6010"}) {
        const bool held = std::string(product) == "6001";
        const std::string root = rig.path(std::string("sys-") + product);
        layOutSysfs(root, product);
        setenv("PXR7_SYSFS_ROOT", root.c_str(), 1);
        std::string problem;
        const bool loaded = loadBackend(BackendChoice{}, problem);
        EXPECT_EQ(d2xxAttempt().tried, !held) << product;
        EXPECT_EQ(contains(backendChoiceNote(), "ftdi_sio holds 1 FT232R bridge(s), which "
                                                "FTDI's library cannot open: using libftdi1"),
                  held)
            << backendChoiceNote();
        if (held) {
            EXPECT_TRUE(loaded);
            EXPECT_EQ(std::string(backendInUse()).rfind("libftdi1 ", 0), 0u) << backendInUse();
        }
    }
    unsetenv("PXR7_SYSFS_ROOT");
}

} // namespace
