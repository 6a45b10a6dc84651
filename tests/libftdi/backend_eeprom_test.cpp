// DevicePort::ensureBridgeConfig through the libftdi backend: a factory lead is reprogrammed
// with exactly the corrected fields, re-enumerates and reads back right; a right lead is
// only read.
#include "bridge_library.h"
#include "device_port.h"
#include "eeprom_image.h"
#include "key_value_text.h"
#include "sim_rig.h"
#include "usb_sim_rig.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

using namespace pxr7;
using usbrig::linesWith;
using usbrig::UsbSimRig;

namespace {

// The bridge's EEPROM fields from the stand-in's state file (or a preset's text form).
std::map<std::string, std::string> fields(const std::string& text) {
    std::map<std::string, std::string> out;
    for (const sim::KeyValueEntry& entry : sim::parseKeyValueText(text).entries) {
        if (entry.key != "version") {
            out[entry.key] = entry.value;
        }
    }
    return out;
}

bool waitForBridges(std::uint32_t wanted, int withinMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(withinMs);
    do {
        std::uint32_t count = 99;
        if (d2xx().FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY) == FT_OK &&
            count == wanted) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

} // namespace

TEST(LibftdiEeprom, FactoryLeadGetsExactlyTheCorrectionsAndReadsBackRight) {
    UsbSimRig rig("state_file = state.txt\nreenumerate_ms = 100\n[bridge 0]\neeprom = factory\n");
    ASSERT_TRUE(rig.ready());
    {
        DevicePort port;
        ASSERT_EQ(port.openAndConfigure(0, 115200, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE),
                  FT_OK);
        EXPECT_EQ(port.ensureBridgeConfig(true), FT_OK);
        EXPECT_EQ(port.configChanged, 1);
        EXPECT_STREQ(port.manufacturerId, "PX") << "FTDI's rule: the serial's first two";
        EXPECT_EQ(port.close(), FT_OK);
    }
    // The port reset made the bridge re-enumerate with its new descriptors.
    const auto trace = rig.trace();
    ASSERT_EQ(linesWith(trace, "request", "SIO_WRITE_EEPROM").size(), 64u);
    const auto resets = linesWith(trace, "bridge", "0");
    EXPECT_NE(std::find_if(resets.begin(), resets.end(),
                           [](const std::string& line) {
                               return simrig::callName(line) == "libusb_reset_device" &&
                                      simrig::valueOf(line, "status") == "5"; // NOT_FOUND
                           }),
              resets.end());

    // Every field as the factory preset had it but the corrected ones.
    sim::EepromImage expected = sim::factoryEeprom("PX7A0000");
    expected.numbers.PnP = 0;
    expected.numbers.InvertDTR = 1;
    expected.numbers.Cbus4 = FT_232R_CBUS_SLEEP;
    expected.description = "Tavelin QVRX";
    std::string state;
    ASSERT_TRUE(simrig::readFile(rig.path("state.txt"), state));
    EXPECT_EQ(fields(state), fields(sim::eepromToText(expected)));

    // Back on the bus, the EEPROM reads back (checksum and all) with the new settings.
    ASSERT_TRUE(waitForBridges(1, 3000));
    rig.clearTrace();
    DevicePort port;
    ASSERT_EQ(port.openAndConfigure(0, 115200, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
    EXPECT_EQ(port.ensureBridgeConfig(true), FT_OK);
    EXPECT_EQ(port.configChanged, 0);
    EXPECT_STREQ(port.description, "Tavelin QVRX");
    EXPECT_STREQ(port.serialNumber, "PX7A0000");
    EXPECT_STREQ(port.manufacturer, "FTDI");
    EXPECT_EQ(port.eeprom.PnP, 0);
    EXPECT_EQ(port.eeprom.InvertDTR, 1);
    EXPECT_EQ(port.eeprom.Cbus4, FT_232R_CBUS_SLEEP);
    EXPECT_EQ(port.eeprom.MaxPower, 90);
    EXPECT_EQ(port.eeprom.Cbus0, 3);
    port.close();
    EXPECT_TRUE(linesWith(rig.trace(), "request", "SIO_WRITE_EEPROM").empty());
}

TEST(LibftdiEeprom, RightLeadIsReadAndLeftAlone) {
    UsbSimRig rig("[bridge 0]\neeprom = right\n");
    ASSERT_TRUE(rig.ready());
    DevicePort port;
    ASSERT_EQ(port.openAndConfigure(0, 115200, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
    EXPECT_EQ(port.ensureBridgeConfig(true), FT_OK);
    EXPECT_EQ(port.configChanged, 0);
    // Values libftdi1 decodes, and PnP, which only the raw image holds.
    EXPECT_EQ(port.eeprom.VendorId, 0x0403);
    EXPECT_EQ(port.eeprom.ProductId, 0x6001);
    EXPECT_EQ(port.eeprom.RemoteWakeup, 1);
    EXPECT_EQ(port.eeprom.SerNumEnableR, 1);
    EXPECT_EQ(port.eeprom.RIsD2XX, 0);
    EXPECT_EQ(port.eeprom.Cbus1, 2);
    port.close();
    const auto trace = rig.trace();
    EXPECT_TRUE(linesWith(trace, "request", "SIO_WRITE_EEPROM").empty());
    EXPECT_EQ(simrig::countCalls(trace, "libusb_reset_device"), 0);
}

// A second run on a rig whose EEPROM the first run's programming left in the state file:
// the stand-in encodes it itself and the host finds it right.
TEST(LibftdiEeprom, ProgrammedLeadStaysRightForTheNextRun) {
    UsbSimRig rig("state_file = state.txt\n[bridge 0]\neeprom = factory\n");
    ASSERT_TRUE(rig.ready());
    DevicePort first;
    ASSERT_EQ(first.openAndConfigure(0, 115200, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
    first.ensureBridgeConfig(true);
    ASSERT_EQ(first.configChanged, 1);
    first.close();
    rig.restart();
    DevicePort second;
    ASSERT_EQ(second.openAndConfigure(0, 115200, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
    EXPECT_EQ(second.ensureBridgeConfig(true), FT_OK);
    EXPECT_EQ(second.configChanged, 0);
    second.close();
}
