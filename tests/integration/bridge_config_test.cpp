// ensureBridgeConfig against simulated bridges: what it reads, whether it programs and cycles,
// and that a programmed bridge stays programmed for the next program run.
#include "bridge_library.h"
#include "device_port.h"
#include "sim_rig.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

using namespace pxr7;

using namespace simrig;

namespace {

void configureAndEnsure(DevicePort& port) {
    EXPECT_EQ(port.openAndConfigure(0, 115200, 8, 0, 0), FT_OK);
    port.ensureBridgeConfig(true);
}

std::uint32_t bridgesPresent() {
    std::uint32_t count = 99;
    EXPECT_EQ(d2xx().FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    return count;
}

bool waitForBridges(std::uint32_t wanted, int withinMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(withinMs);
    while (std::chrono::steady_clock::now() < end) {
        if (bridgesPresent() == wanted) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

const std::vector<std::string> kOpenAndConfigure = {
    "FT_Open", "FT_ClrDtr", "FT_SetBaudRate", "FT_SetDataCharacteristics", "FT_SetFlowControl"};

std::vector<std::string> plus(std::vector<std::string> calls,
                              std::initializer_list<const char*> more) {
    calls.insert(calls.end(), more.begin(), more.end());
    return calls;
}

} // namespace

TEST(SimBridgeConfig, FactoryBridgeIsProgrammedCycledAndStaysProgrammedForTheNextRun) {
    SimRig rig("state_file = state.txt\n"
               "reenumerate_ms = 100\n"
               "[bridge 0]\n"
               "eeprom = factory\n");
    ASSERT_TRUE(rig.ready());
    {
        DevicePort port;
        configureAndEnsure(port);
        EXPECT_EQ(port.configChanged, 1);
        EXPECT_EQ(port.lastStatus, FT_OK); // the program's status
        // The old handle is dead; closing it still works and leaves the port closed.
        EXPECT_EQ(port.close(), FT_OK);
        EXPECT_EQ(port.handle, nullptr);
    }
    EXPECT_EQ(callNames(rig.trace()),
              plus(kOpenAndConfigure, {"FT_EE_Read", "FT_EE_Program", "FT_CyclePort", "FT_Close"}));

    // Gone from the bus for a while, then back with the new description.
    EXPECT_EQ(bridgesPresent(), 0u);
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(d2xx().FT_Open(0, &handle), FT_DEVICE_NOT_FOUND);
    ASSERT_TRUE(waitForBridges(1, 3000));
    ASSERT_EQ(d2xx().FT_Open(0, &handle), FT_OK);
    FT_DEVICE type = 0;
    std::uint32_t id = 0;
    char serial[16] = {};
    char description[64] = {};
    ASSERT_EQ(d2xx().FT_GetDeviceInfo(handle, &type, &id, serial, description, nullptr), FT_OK);
    EXPECT_EQ(type, FT_DEVICE_232R);
    EXPECT_EQ(id, 0x04036001u);
    EXPECT_STREQ(serial, "PX7A0000");
    EXPECT_STREQ(description, "Tavelin QVRX");
    EXPECT_EQ(d2xx().FT_Close(handle), FT_OK);

    // A second program run on the same rig: the EEPROM is right, read once, left alone.
    ASSERT_TRUE(rig.restart());
    rig.clearTrace();
    DevicePort port;
    configureAndEnsure(port);
    EXPECT_EQ(port.configChanged, 0);
    port.close();
    EXPECT_EQ(callNames(rig.trace()), plus(kOpenAndConfigure, {"FT_EE_Read", "FT_Close"}));
    EXPECT_STREQ(port.description, "Tavelin QVRX");
    EXPECT_STREQ(port.manufacturer, "FTDI");
    EXPECT_STREQ(port.manufacturerId, "FT");
    EXPECT_STREQ(port.serialNumber, "PX7A0000");
    EXPECT_EQ(port.eeprom.VendorId, 0x0403);
    EXPECT_EQ(port.eeprom.ProductId, 0x6001);
    EXPECT_EQ(port.eeprom.PnP, 0);
    EXPECT_EQ(port.eeprom.InvertDTR, 1);
    EXPECT_EQ(port.eeprom.Cbus4, FT_232R_CBUS_SLEEP);
    EXPECT_EQ(port.eeprom.MaxPower, 90);
}

TEST(SimBridgeConfig, RightBridgeIsReadOnceAndNeitherWrittenNorCycled) {
    SimRig rig("[bridge 0]\neeprom = right\n");
    ASSERT_TRUE(rig.ready());
    DevicePort port;
    configureAndEnsure(port);
    EXPECT_EQ(port.configChanged, 0);
    port.close();
    EXPECT_EQ(callNames(rig.trace()), plus(kOpenAndConfigure, {"FT_EE_Read", "FT_Close"}));
    EXPECT_EQ(bridgesPresent(), 1u);
}

TEST(SimBridgeConfig, ValuesTheHostLeavesAloneAreNotCorrected) {
    // PnP and SelfPowered of 2 are not 1, InvertDTR of 7 is not 0: nothing to correct.
    SimRig rig("[bridge 0]\neeprom.PnP = 2\neeprom.SelfPowered = 2\neeprom.InvertDTR = 7\n"
               "eeprom.InvertRXD = 2\n");
    ASSERT_TRUE(rig.ready());
    DevicePort port;
    configureAndEnsure(port);
    EXPECT_EQ(port.configChanged, 0);
    EXPECT_EQ(port.eeprom.PnP, 2);
    EXPECT_EQ(port.eeprom.InvertDTR, 7);
    port.close();
    EXPECT_EQ(countCalls(rig.trace(), "FT_EE_Program"), 0);
}

TEST(SimBridgeConfig, DescriptionDifferingOnlyByATrailingBlankIsReprogrammed) {
    SimRig rig("[bridge 0]\ndescription = \"Tavelin QVRX \"\n");
    ASSERT_TRUE(rig.ready());
    DevicePort port;
    configureAndEnsure(port);
    EXPECT_EQ(port.configChanged, 1);
    port.close();
    EXPECT_EQ(countCalls(rig.trace(), "FT_EE_Program"), 1);
    EXPECT_EQ(countCalls(rig.trace(), "FT_CyclePort"), 1);
}

TEST(SimBridgeConfig, FailedEepromReadSkipsTheCorrection) {
    SimRig rig("[bridge 0]\neeprom = factory\neeprom_read = fail\n");
    ASSERT_TRUE(rig.ready());
    DevicePort port;
    ASSERT_EQ(port.openAndConfigure(0, 115200, 8, 0, 0), FT_OK);
    EXPECT_EQ(port.ensureBridgeConfig(true), FT_EEPROM_READ_FAILED);
    EXPECT_EQ(port.configChanged, 0);
    port.close();
    const auto calls = callNames(rig.trace());
    EXPECT_EQ(calls, plus(kOpenAndConfigure, {"FT_EE_Read", "FT_Close"}));
    EXPECT_EQ(valueOf(rig.trace()[5], "status"), "11");
}

TEST(SimBridgeConfig, EepromStringsNeverOverrunFtdiBufferSizes) {
    SimRig rig("[bridge 0]\n"
               "serial = PX7A0123456789ABCDEFGHIJ\n"
               "description = \"" +
               std::string(90, 'D') + "\"\n");
    ASSERT_TRUE(rig.ready());
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(d2xx().FT_Open(0, &handle), FT_OK);

    // Each buffer sits between guard bytes the library must not touch.
    struct Guarded {
        char before[8];
        char text[64];
        char after[8];
    } manufacturer, manufacturerId, description, serial;
    for (Guarded* g : {&manufacturer, &manufacturerId, &description, &serial}) {
        std::memset(g, 0x5A, sizeof *g);
    }
    FT_PROGRAM_DATA record{};
    record.Signature1 = 0;
    record.Signature2 = 0xFFFFFFFF;
    record.Version = 2;
    record.Manufacturer = manufacturer.text;
    record.ManufacturerId = manufacturerId.text;
    record.Description = description.text;
    record.SerialNumber = serial.text;
    ASSERT_EQ(d2xx().FT_EE_Read(handle, &record), FT_OK);
    EXPECT_EQ(std::strlen(serial.text), 15u);
    EXPECT_EQ(std::string(serial.text), "PX7A0123456789A");
    EXPECT_EQ(std::strlen(description.text), 63u);
    EXPECT_EQ(serial.text[16], 0x5A) << "serial written past 16 bytes";
    EXPECT_EQ(manufacturerId.text[16], 0x5A) << "manufacturer id written past 16 bytes";
    EXPECT_EQ(manufacturer.text[32], 0x5A) << "manufacturer written past 32 bytes";
    for (Guarded* g : {&manufacturer, &manufacturerId, &description, &serial}) {
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(g->before[i], 0x5A);
            EXPECT_EQ(g->after[i], 0x5A);
        }
    }

    // Records without FTDI's signatures or of an older version are refused.
    FT_PROGRAM_DATA bad = record;
    bad.Signature2 = 0;
    EXPECT_EQ(d2xx().FT_EE_Read(handle, &bad), FT_INVALID_PARAMETER);
    bad = record;
    bad.Version = 1;
    EXPECT_EQ(d2xx().FT_EE_Read(handle, &bad), FT_INVALID_PARAMETER);
    EXPECT_EQ(d2xx().FT_EE_Program(handle, &bad), FT_INVALID_PARAMETER);
    EXPECT_EQ(d2xx().FT_EE_Read(handle, nullptr), FT_INVALID_PARAMETER);
    d2xx().FT_Close(handle);
}
