// The version query's read loop against a scripted bridge: hostile and split replies.
#include "bridge_library.h"
#include "command_frame.h"
#include "fake_d2xx.h"
#include "version_query.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pxr7;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The versions the search found, in order, as the device list shows them; returns their count.
int listVersions(std::vector<std::string>& lines, SearchExtent extent = SearchExtent::AllMeters) {
    const MeterSearch search = searchMetersCorrectingLeads(extent);
    for (const MeterInfo& meter : search.meters) {
        lines.push_back(meter.version);
    }
    return static_cast<int>(search.meters.size());
}

struct Lines {
    std::vector<std::string> lines;
};

Bytes versionReply(const std::string& version) {
    // Built byte by byte: GCC 12 misreads a range insert into a three-byte vector as overflow.
    Bytes reply = {kReplyAck, kFrameStart, static_cast<std::uint8_t>(version.size())};
    for (const char c : version) {
        reply.push_back(static_cast<std::uint8_t>(c));
    }
    reply.push_back(frameChecksum(reply.data() + 2, version.size() + 1));
    return reply;
}

class VersionQueryTest : public ::testing::Test {
protected:
    void SetUp() override { bridge = &installFakeD2xx(); }
    void TearDown() override { uninstallFakeD2xx(); }
    int readCalls() const {
        int reads = 0;
        for (const std::string& call : bridge->calls) {
            reads += call.rfind("FT_Read", 0) == 0 ? 1 : 0;
        }
        return reads;
    }
    FakeD2xx* bridge = nullptr;
    Lines lines;
};

TEST_F(VersionQueryTest, OneMeterAnsweringWholeIsCountedAndListed) {
    bridge->reads.push_back({FT_OK, {0x06, 0x02, 0x02, 0x41, 0x42, 0x7A}});
    EXPECT_EQ(listVersions(lines.lines), 1);
    EXPECT_EQ(lines.lines, std::vector<std::string>{"AB"});
    EXPECT_EQ(bridge->callList(),
              "FT_ListDevices(2147483648) FT_Open(0) FT_GetDeviceInfo FT_Close "
              "FT_Open(0) FT_ClrDtr FT_SetBaudRate(115200) FT_SetDataCharacteristics(8,0,0) "
              "FT_SetFlowControl(0,0,0) FT_EE_Read FT_SetTimeouts(200,1000) FT_Purge(1) "
              "FT_Purge(2) FT_Write(10) FT_Read(100) FT_Close");
}

TEST_F(VersionQueryTest, NakEndsTheReadLoopAtOnce) {
    bridge->reads.push_back({FT_OK, {0x15}});
    EXPECT_EQ(listVersions(lines.lines), 0);
    EXPECT_EQ(readCalls(), 1);
}

TEST_F(VersionQueryTest, ASilentMeterIsReadFiveTimesAndSkipped) {
    EXPECT_EQ(listVersions(lines.lines), 0);
    EXPECT_EQ(readCalls(), 5);
    EXPECT_TRUE(lines.lines.empty());
}

TEST_F(VersionQueryTest, AFailedReadSkipsTheMeter) {
    bridge->reads.push_back({FT_OK, {0x06, 0x02}});
    bridge->reads.push_back({FT_IO_ERROR, {0x02, 0x41, 0x42, 0x7A}});
    EXPECT_EQ(listVersions(lines.lines), 0);
    EXPECT_EQ(readCalls(), 2);
}

TEST_F(VersionQueryTest, AReplySplitOverSeveralReadsIsReassembled) {
    const Bytes whole = versionReply("PXR7 V1.02 build 7");
    bridge->reads.push_back({FT_OK, Bytes(whole.begin(), whole.begin() + 6)});
    bridge->reads.push_back({FT_OK, {}});
    bridge->reads.push_back({FT_OK, Bytes(whole.begin() + 6, whole.begin() + 15)});
    bridge->reads.push_back({FT_OK, Bytes(whole.begin() + 15, whole.end())});
    EXPECT_EQ(listVersions(lines.lines), 1);
    EXPECT_EQ(lines.lines, std::vector<std::string>{"PXR7 V1.02 build 7"});
    EXPECT_EQ(readCalls(), 4);
}

TEST_F(VersionQueryTest, AnEmptyPayloadInOneReadIsRejected) {
    bridge->reads.push_back({FT_OK, {0x06, 0x02, 0x00, 0xFF}});
    EXPECT_EQ(listVersions(lines.lines), 0);
}

TEST_F(VersionQueryTest, HostileCountsAndFloodsStayInsideTheBuffers) {
    // A driver that claims more than was asked for, five times over: never past 128 bytes.
    for (int i = 0; i < 5; ++i) {
        FakeRead flood{FT_OK, Bytes(100, 0x06)};
        flood.overrideCount = true;
        flood.count = 0xFFFFFF00u;
        bridge->reads.push_back(flood);
    }
    EXPECT_EQ(listVersions(lines.lines), 0);
    // A frame claiming 127 payload bytes reaches past the reply buffer and is rejected.
    bridge->calls.clear();
    Bytes big = {0x06, 0x02, 0x7F};
    big.resize(100, 'A');
    for (int i = 0; i < 5; ++i) {
        bridge->reads.push_back({FT_OK, i == 0 ? big : Bytes(100, 'A')});
    }
    EXPECT_EQ(listVersions(lines.lines), 0);
    EXPECT_TRUE(lines.lines.empty());
}

TEST_F(VersionQueryTest, TheFirstMeterSearchStopsAfterTheFirstAnsweringMeter) {
    bridge->deviceCount = 3;
    bridge->reads.push_back({FT_OK, {0x15}});             // bridge 0: NAK
    bridge->reads.push_back({FT_OK, versionReply("B1")}); // bridge 1
    bridge->reads.push_back({FT_OK, versionReply("B2")}); // bridge 2: never asked
    EXPECT_EQ(listVersions(lines.lines, SearchExtent::FirstMeter), 1);
    EXPECT_EQ(lines.lines, std::vector<std::string>{"B1"});
    EXPECT_EQ(bridge->callList().find("FT_Open(2)"), std::string::npos);
}

TEST_F(VersionQueryTest, ABridgeThatNeededReprogrammingIsNotAsked) {
    bridge->eeprom.InvertDTR = 0;
    EXPECT_EQ(listVersions(lines.lines), 0);
    EXPECT_NE(bridge->callList().find("FT_EE_Read FT_EE_Program FT_CyclePort FT_Close"),
              std::string::npos)
        << bridge->callList();
    EXPECT_EQ(bridge->callList().find("FT_Write"), std::string::npos);
}

TEST_F(VersionQueryTest, NoDevicesOrAFailedListMeansNoTraffic) {
    bridge->deviceCount = 0;
    EXPECT_EQ(listVersions(lines.lines), 0);
    bridge->deviceCount = 4;
    bridge->status["FT_ListDevices"] = FT_IO_ERROR;
    EXPECT_EQ(listVersions(lines.lines), 0);
    EXPECT_EQ(bridge->callList(), "FT_ListDevices(2147483648) FT_ListDevices(2147483648)");
}

TEST(VersionQueryWithoutDriver, ReturnsZero) {
    installBridgeTable(nullptr);
    Lines lines;
    EXPECT_EQ(listVersions(lines.lines), 0);
}

} // namespace
