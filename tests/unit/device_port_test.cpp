#include "device_port.h"
#include "fake_d2xx.h"

#include <gtest/gtest.h>

#include <ostream>

#include <cstring>

using namespace pxr7;

namespace {

class DevicePortTest : public ::testing::Test {
protected:
    void SetUp() override { bridge = &installFakeD2xx(); }
    void TearDown() override { uninstallFakeD2xx(); }

    FakeD2xx* bridge = nullptr;
    DevicePort port;
};

TEST_F(DevicePortTest, StartsClosedWithTheRecordedDefaults) {
    EXPECT_EQ(port.index, -1);
    EXPECT_EQ(port.handle, nullptr);
    EXPECT_EQ(port.lastStatus, FT_OK);
    EXPECT_EQ(port.baudRate, 0u);
    EXPECT_EQ(port.writeTimeout, 1000u);
    EXPECT_EQ(port.expectedVendorId, 0x0403);
    EXPECT_EQ(port.expectedProductId, 0x6001);
    EXPECT_EQ(port.configChanged, 0);
}

TEST_F(DevicePortTest, WithoutAHandleNoCallReachesTheBridge) {
    port.lastStatus = 77;
    std::uint8_t byte = 0;
    EXPECT_EQ(port.write(&byte, 1), FT_OK);
    EXPECT_EQ(port.read(&byte, 1), FT_OK);
    EXPECT_EQ(port.purgeReceive(), FT_OK);
    EXPECT_EQ(port.setBaudRate(115200), FT_OK);
    EXPECT_EQ(port.setDataCharacteristics(8, 0, 0), FT_OK);
    EXPECT_EQ(port.setFlowControl(0, 0, 0), FT_OK);
    EXPECT_EQ(port.setTimeouts(1, 1000), FT_OK);
    EXPECT_EQ(port.setDtr(1), FT_OK);
    EXPECT_EQ(port.close(), FT_OK);
    EXPECT_TRUE(bridge->calls.empty()) << bridge->callList();
    EXPECT_EQ(port.lastStatus, 77u);
    EXPECT_EQ(port.index, -1);
}

TEST_F(DevicePortTest, FailedOpenLeavesThePortClosed) {
    bridge->status["FT_Open"] = FT_DEVICE_NOT_FOUND;
    EXPECT_EQ(port.open(3), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(port.handle, nullptr);
    EXPECT_EQ(port.index, -1);
    EXPECT_EQ(port.lastStatus, FT_DEVICE_NOT_FOUND);
}

TEST_F(DevicePortTest, CloseAlwaysClearsHandleAndIndexAndKeepsTheStatus) {
    ASSERT_EQ(port.open(2), FT_OK);
    EXPECT_EQ(port.index, 2);
    bridge->status["FT_Close"] = FT_IO_ERROR; // a cycled bridge
    EXPECT_EQ(port.close(), FT_IO_ERROR);
    EXPECT_EQ(port.handle, nullptr);
    EXPECT_EQ(port.index, -1);
    EXPECT_EQ(port.lastStatus, FT_IO_ERROR);
}

TEST_F(DevicePortTest, OpeningAnOpenPortClosesTheOldHandleFirst) {
    ASSERT_EQ(port.open(0), FT_OK);
    ASSERT_EQ(port.open(1), FT_OK);
    EXPECT_EQ(bridge->callList(), "FT_Open(0) FT_Close FT_Open(1)");
    EXPECT_EQ(port.index, 1);
}

TEST_F(DevicePortTest, SettersRecordTheirValuesEvenWhenTheCallFails) {
    ASSERT_EQ(port.open(0), FT_OK);
    bridge->status["FT_SetBaudRate"] = FT_INVALID_BAUD_RATE;
    bridge->status["FT_SetDataCharacteristics"] = FT_IO_ERROR;
    bridge->status["FT_SetTimeouts"] = FT_IO_ERROR;
    EXPECT_EQ(port.setBaudRate(1000000), FT_INVALID_BAUD_RATE);
    EXPECT_EQ(port.baudRate, 1000000u);
    EXPECT_EQ(port.setDataCharacteristics(7, 2, 1), FT_IO_ERROR);
    EXPECT_EQ(port.wordLength, 7);
    EXPECT_EQ(port.stopBits, 2);
    EXPECT_EQ(port.parity, 1);
    EXPECT_EQ(port.setTimeouts(200, 500), FT_IO_ERROR);
    EXPECT_EQ(port.readTimeout, 200u);
    EXPECT_EQ(port.writeTimeout, 500u);
}

TEST_F(DevicePortTest, DtrIsAssertedOnlyForExactlyOne) {
    ASSERT_EQ(port.open(0), FT_OK);
    bridge->calls.clear();
    port.setDtr(1);
    port.setDtr(2);
    port.setDtr(0);
    port.setDtr(-1);
    EXPECT_EQ(bridge->callList(), "FT_SetDtr FT_ClrDtr FT_ClrDtr FT_ClrDtr");
}

TEST_F(DevicePortTest, ReadAndWriteReportCountsAndPurgeMasks) {
    ASSERT_EQ(port.open(0), FT_OK);
    bridge->reads.push_back({FT_OK, {0x7D}});
    std::uint8_t buffer[4] = {};
    EXPECT_EQ(port.read(buffer, 1), FT_OK);
    EXPECT_EQ(port.bytesRead, 1u);
    EXPECT_EQ(buffer[0], 0x7D);
    const std::uint8_t answer = '{';
    EXPECT_EQ(port.write(&answer, 1), FT_OK);
    EXPECT_EQ(port.bytesWritten, 1u);
    port.purgeReceive();
    port.purgeTransmit();
    EXPECT_EQ(bridge->callList(), "FT_Open(0) FT_Read(1) FT_Write(1) FT_Purge(1) FT_Purge(2)");
}

TEST_F(DevicePortTest, OpenAndConfigureBringsTheLineUpInOrder) {
    EXPECT_EQ(port.openAndConfigure(0, 1000000, 8, 0, 0), FT_OK);
    EXPECT_EQ(bridge->callList(), "FT_Open(0) FT_ClrDtr FT_SetBaudRate(1000000) "
                                  "FT_SetDataCharacteristics(8,0,0) FT_SetFlowControl(0,0,0)");
}

TEST_F(DevicePortTest, OpenAndConfigureStopsAfterAFailedOpen) {
    bridge->status["FT_Open"] = FT_DEVICE_NOT_OPENED;
    EXPECT_EQ(port.openAndConfigure(0, 115200, 8, 0, 0), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(bridge->callList(), "FT_Open(0)");
}

TEST_F(DevicePortTest, OpenAndConfigureStopsWhenDtrCannotBeClearedAndCloses) {
    bridge->status["FT_ClrDtr"] = FT_IO_ERROR;
    EXPECT_EQ(port.openAndConfigure(0, 115200, 8, 0, 0), FT_IO_ERROR);
    EXPECT_EQ(bridge->callList(), "FT_Open(0) FT_ClrDtr FT_Close");
    EXPECT_EQ(port.handle, nullptr);
}

// A port is either configured or closed: the first failing step is returned, and a port whose
// baud rate or framing could not be set is not left open at the wrong speed.
TEST_F(DevicePortTest, OpenAndConfigureReturnsTheFirstFailingStepAndCloses) {
    bridge->status["FT_SetBaudRate"] = FT_INVALID_BAUD_RATE;
    bridge->status["FT_SetFlowControl"] = FT_IO_ERROR;
    EXPECT_EQ(port.openAndConfigure(1, 115200, 8, 0, 0), FT_INVALID_BAUD_RATE);
    EXPECT_EQ(bridge->callList(), "FT_Open(1) FT_ClrDtr FT_SetBaudRate(115200) "
                                  "FT_SetDataCharacteristics(8,0,0) FT_SetFlowControl(0,0,0) "
                                  "FT_Close");
    EXPECT_EQ(port.handle, nullptr);
    EXPECT_EQ(port.lastStatus, FT_INVALID_BAUD_RATE);
}

// --- The bridge EEPROM check -------------------------------------------------------------

class BridgeConfigTest : public DevicePortTest {
protected:
    void SetUp() override {
        DevicePortTest::SetUp();
        ASSERT_EQ(port.open(0), FT_OK);
        bridge->calls.clear();
    }
};

TEST_F(BridgeConfigTest, ARightBridgeIsReadOnce) {
    EXPECT_EQ(port.ensureBridgeConfig(true), FT_OK);
    EXPECT_EQ(bridge->callList(), "FT_EE_Read");
    EXPECT_EQ(port.configChanged, 0);
}

TEST_F(BridgeConfigTest, TheRecordIsPreparedAsVersionTwoWithOurBuffers) {
    bridge->eeprom.VendorId = 0x1234;
    port.ensureBridgeConfig(false);
    EXPECT_EQ(port.eeprom.Signature1, 0u);
    EXPECT_EQ(port.eeprom.Signature2, 0xFFFFFFFFu);
    EXPECT_EQ(port.eeprom.Version, 2u);
    EXPECT_EQ(port.eeprom.Manufacturer, port.manufacturer);
    EXPECT_EQ(port.eeprom.ManufacturerId, port.manufacturerId);
    EXPECT_EQ(port.eeprom.Description, port.description);
    EXPECT_EQ(port.eeprom.SerialNumber, port.serialNumber);
    // What the bridge holds comes back as read.
    EXPECT_EQ(port.eeprom.VendorId, 0x1234);
    EXPECT_STREQ(port.serialNumber, "PX7A0001");
}

TEST_F(BridgeConfigTest, AFactoryFreshBridgeIsCorrectedProgrammedAndCycled) {
    bridge->eeprom.PnP = 1;
    bridge->eeprom.SelfPowered = 1;
    bridge->eeprom.InvertDTR = 0;
    bridge->eeprom.InvertRXD = 1;
    bridge->eeprom.InvertTXD = 1;
    bridge->eeprom.Cbus4 = 1;
    bridge->eeprom.MaxPower = 100;
    bridge->description = "FT232R USB UART";
    bridge->status["FT_CyclePort"] = FT_IO_ERROR; // ignored by design
    EXPECT_EQ(port.ensureBridgeConfig(true), FT_OK);
    EXPECT_EQ(bridge->callList(), "FT_EE_Read FT_EE_Program FT_CyclePort");
    EXPECT_EQ(port.configChanged, 1);
    const FT_PROGRAM_DATA& written = bridge->programmed;
    EXPECT_EQ(written.PnP, 0);
    EXPECT_EQ(written.SelfPowered, 0);
    EXPECT_EQ(written.InvertDTR, 1);
    EXPECT_EQ(written.InvertRXD, 0);
    EXPECT_EQ(written.InvertTXD, 0);
    EXPECT_EQ(written.Cbus4, FT_232R_CBUS_SLEEP);
    EXPECT_EQ(bridge->programmedDescription, "Tavelin QVRX");
    // Everything else goes back exactly as read.
    EXPECT_EQ(written.MaxPower, 100);
    EXPECT_EQ(written.VendorId, 0x0403);
    // The port keeps its (now dead) handle for its caller to give up.
    EXPECT_NE(port.handle, nullptr);
    EXPECT_EQ(port.index, 0);
}

struct RuleCase {
    const char* name;
    void (*damage)(FakeD2xx&);
    bool fires;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const RuleCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

class BridgeConfigRuleTest : public BridgeConfigTest,
                             public ::testing::WithParamInterface<RuleCase> {};

TEST_P(BridgeConfigRuleTest, EachRuleFiresOnlyOnItsOwnValues) {
    GetParam().damage(*bridge);
    port.ensureBridgeConfig(true);
    EXPECT_EQ(port.configChanged, GetParam().fires ? 1 : 0);
    EXPECT_EQ(bridge->programCount, GetParam().fires ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, BridgeConfigRuleTest,
    ::testing::Values(
        RuleCase{"PnPOne", [](FakeD2xx& b) { b.eeprom.PnP = 1; }, true},
        RuleCase{"PnPTwoLeftAlone", [](FakeD2xx& b) { b.eeprom.PnP = 2; }, false},
        RuleCase{"SelfPoweredOne", [](FakeD2xx& b) { b.eeprom.SelfPowered = 1; }, true},
        RuleCase{"SelfPoweredTwoLeftAlone", [](FakeD2xx& b) { b.eeprom.SelfPowered = 2; }, false},
        RuleCase{"DtrNotInverted", [](FakeD2xx& b) { b.eeprom.InvertDTR = 0; }, true},
        RuleCase{"DtrAnyNonZeroAccepted", [](FakeD2xx& b) { b.eeprom.InvertDTR = 7; }, false},
        RuleCase{"RxdInverted", [](FakeD2xx& b) { b.eeprom.InvertRXD = 1; }, true},
        RuleCase{"RxdTwoLeftAlone", [](FakeD2xx& b) { b.eeprom.InvertRXD = 2; }, false},
        RuleCase{"TxdInverted", [](FakeD2xx& b) { b.eeprom.InvertTXD = 1; }, true},
        RuleCase{"TxdTwoLeftAlone", [](FakeD2xx& b) { b.eeprom.InvertTXD = 2; }, false},
        RuleCase{"Cbus4NotSleep", [](FakeD2xx& b) { b.eeprom.Cbus4 = 0x0A; }, true},
        RuleCase{"DescriptionTrailingBlank", [](FakeD2xx& b) { b.description = "Tavelin QVRX "; },
                 true},
        RuleCase{"DescriptionLetterCase", [](FakeD2xx& b) { b.description = "TAVELIN QVRX"; },
                 true},
        RuleCase{"DescriptionPrefixOnly", [](FakeD2xx& b) { b.description = "Tavelin"; }, true},
        RuleCase{"DescriptionFillsTheBuffer",
                 [](FakeD2xx& b) { b.description = std::string(80, 'X'); }, true}),
    [](const ::testing::TestParamInfo<RuleCase>& caseInfo) { return caseInfo.param.name; });

TEST_F(BridgeConfigTest, WithoutProgrammingTheRecordIsCorrectedButNothingIsWritten) {
    bridge->eeprom.Cbus4 = 0;
    bridge->description = "FT232R USB UART";
    port.ensureBridgeConfig(false);
    EXPECT_EQ(bridge->callList(), "FT_EE_Read");
    EXPECT_EQ(port.configChanged, 1);
    EXPECT_EQ(port.eeprom.Cbus4, FT_232R_CBUS_SLEEP);
    EXPECT_STREQ(port.description, "Tavelin QVRX");
}

TEST_F(BridgeConfigTest, AFailedReadKeepsAnEarlierChangeFlagAndWritesNothing) {
    bridge->eeprom.InvertDTR = 0;
    port.ensureBridgeConfig(false);
    ASSERT_EQ(port.configChanged, 1);
    bridge->status["FT_EE_Read"] = FT_EEPROM_READ_FAILED;
    bridge->calls.clear();
    EXPECT_EQ(port.ensureBridgeConfig(true), FT_EEPROM_READ_FAILED);
    EXPECT_EQ(bridge->callList(), "FT_EE_Read");
    EXPECT_EQ(port.configChanged, 1);
}

TEST_F(BridgeConfigTest, AClosedPortOpensBridgeZeroAndClosesItAgain) {
    port.close();
    bridge->calls.clear();
    bridge->status["FT_Close"] = FT_IO_ERROR;
    EXPECT_EQ(port.ensureBridgeConfig(true), FT_IO_ERROR);
    EXPECT_EQ(bridge->callList(), "FT_Open(0) FT_EE_Read FT_Close");
    EXPECT_EQ(port.handle, nullptr);
    EXPECT_EQ(port.index, -1);
}

TEST_F(BridgeConfigTest, AClosedPortThatCannotOpenReturnsTheOpenStatus) {
    port.close();
    bridge->calls.clear();
    bridge->status["FT_Open"] = FT_DEVICE_NOT_FOUND;
    EXPECT_EQ(port.ensureBridgeConfig(true), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(bridge->callList(), "FT_Open(0)");
}

} // namespace
