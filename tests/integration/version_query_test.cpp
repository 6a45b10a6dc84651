// The meter search against simulated bridges and meters: which meters count, what the lists
// show, and exactly which calls each bridge sees.
#include "bridge_library.h"
#include "sim_rig.h"
#include "version_query.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace pxr7;

using namespace simrig;

namespace {

// The versions the search found, in order, as the device list shows them; returns their count.
int listVersions(std::vector<std::string>& lines, SearchExtent extent = SearchExtent::AllMeters) {
    const MeterSearch search = searchMetersCorrectingLeads(extent);
    for (const MeterInfo& meter : search.meters) {
        lines.push_back(meter.version);
    }
    return static_cast<int>(search.meters.size());
}

struct ListLines {
    std::vector<std::string> lines;
};

// The calls made on one device index: from its probe FT_Open up to the next index's.
std::vector<std::string> callsForIndex(const std::vector<std::string>& trace, int index) {
    std::vector<std::string> calls;
    const std::string open = "FT_Open index=" + std::to_string(index) + " ";
    bool inside = false;
    for (const std::string& line : trace) {
        if (callName(line) == "FT_Open") {
            inside = line.compare(0, open.size(), open) == 0;
        }
        if (inside) {
            calls.push_back(line);
        }
    }
    return calls;
}

std::string hex(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char digits[3];
    for (const std::uint8_t byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", byte);
        text += digits;
    }
    return text;
}

// ACK and the frame 02 N text checksum.
std::vector<std::uint8_t> versionReply(const std::string& text) {
    std::vector<std::uint8_t> reply{0x06, 0x02, static_cast<std::uint8_t>(text.size())};
    unsigned sum = static_cast<unsigned>(text.size());
    for (const char c : text) {
        reply.push_back(static_cast<std::uint8_t>(c));
        sum += static_cast<std::uint8_t>(c);
    }
    reply.push_back(static_cast<std::uint8_t>(~sum & 0xFF));
    return reply;
}

int readsWithData(const std::vector<std::string>& lines) {
    int reads = 0;
    for (const std::string& line : lines) {
        reads += callName(line) == "FT_Read" && valueOf(line, "got") != "0" ? 1 : 0;
    }
    return reads;
}

} // namespace

TEST(SimVersionQuery, EachBridgeSeesExactlyTheQuerySequence) {
    SimRig rig("[bridge 0]\nversion = PXR7 V1.02\n");
    ASSERT_TRUE(rig.ready());
    ListLines list;
    EXPECT_EQ(listVersions(list.lines), 1);
    ASSERT_EQ(list.lines, std::vector<std::string>{"PXR7 V1.02"});

    const std::vector<std::string> expected = {
        "FT_ListDevices count=1 status=0",
        "FT_Open index=0 status=0",
        "FT_GetDeviceInfo bridge=0 status=0",
        "FT_Close bridge=0 status=0",
        "FT_Open index=0 status=0",
        "FT_ClrDtr bridge=0 status=0",
        "FT_SetBaudRate bridge=0 baud=115200 status=0",
        "FT_SetDataCharacteristics bridge=0 bits=8 stop=0 parity=0 status=0",
        "FT_SetFlowControl bridge=0 mode=0 status=0",
        "FT_EE_Read bridge=0 status=0",
        "FT_SetTimeouts bridge=0 read=200 write=1000 status=0",
        "FT_Purge bridge=0 mask=1 status=0",
        "FT_Purge bridge=0 mask=2 status=0",
        "FT_Write bridge=0 length=10 written=10 data=020756455253494F4ED2 status=0",
        "FT_Read bridge=0 wanted=100 got=14 data=" + hex(versionReply("PXR7 V1.02")) + " status=0",
        "FT_Close bridge=0 status=0",
    };
    EXPECT_EQ(rig.trace(), expected);
}

TEST(SimVersionQuery, TwoMetersGiveTwoLinesInBridgeOrder) {
    SimRig rig("[bridge 0]\nversion = PXR7 V1.02\n[bridge 1]\nversion = PXR7 V2.10\n");
    ASSERT_TRUE(rig.ready());
    ListLines list;
    EXPECT_EQ(listVersions(list.lines), 2);
    EXPECT_EQ(list.lines, (std::vector<std::string>{"PXR7 V1.02", "PXR7 V2.10"}));
    EXPECT_EQ(countCalls(linesOfBridge(rig.trace(), 1), "FT_Write"), 1);
}

TEST(SimVersionQuery, FirstMeterSearchStopsTheWalkAfterTheFirstAnswer) {
    SimRig rig("[bridge 0]\nversion = PXR7 V1.02\n[bridge 1]\nversion = PXR7 V2.10\n");
    ASSERT_TRUE(rig.ready());
    ListLines list;
    EXPECT_EQ(listVersions(list.lines, SearchExtent::FirstMeter), 1);
    EXPECT_EQ(list.lines, std::vector<std::string>{"PXR7 V1.02"});
    // Bridge 1 is never opened.
    EXPECT_TRUE(callsForIndex(rig.trace(), 1).empty());
    EXPECT_TRUE(linesOfBridge(rig.trace(), 1).empty());
}

TEST(SimVersionQuery, GarbledOrMissingAnswersAreNotCounted) {
    SimRig rig("[bridge 0]\nversion_reply = nak\n"
               "[bridge 1]\nversion_reply = silent\n"
               "[bridge 2]\nversion_reply = bad_checksum\n"
               "[bridge 3]\nversion_reply = empty\n"
               "[bridge 4]\nversion = PXR7 V4.44\n");
    ASSERT_TRUE(rig.ready());
    ListLines list;
    EXPECT_EQ(listVersions(list.lines), 1);
    EXPECT_EQ(list.lines, std::vector<std::string>{"PXR7 V4.44"});

    const auto trace = rig.trace();
    // NAK ends the read loop at once; silence costs five reads; the others are read whole.
    EXPECT_EQ(countCalls(linesOfBridge(trace, 0), "FT_Read"), 1);
    EXPECT_EQ(valueOf(linesOfBridge(trace, 0).back(), "status"), "0");
    const auto silent = linesOfBridge(trace, 1);
    EXPECT_EQ(countCalls(silent, "FT_Read"), 5);
    EXPECT_EQ(readsWithData(silent), 0);
    EXPECT_GE(countCalls(linesOfBridge(trace, 2), "FT_Read"), 1);
    EXPECT_GE(countCalls(linesOfBridge(trace, 3), "FT_Read"), 1);
    for (int bridge = 0; bridge < 5; ++bridge) {
        EXPECT_EQ(callName(linesOfBridge(trace, bridge).back()), "FT_Close") << bridge;
    }
}

TEST(SimVersionQuery, OversizeAnswerIsCountedWithItsTextCutTo63Characters) {
    SimRig rig("[bridge 0]\nversion = PXR7 V1.02\nversion_reply = oversize\n");
    ASSERT_TRUE(rig.ready());
    ListLines list;
    EXPECT_EQ(listVersions(list.lines), 1);
    ASSERT_EQ(list.lines.size(), 1u);
    EXPECT_EQ(list.lines[0].size(), 63u);
    EXPECT_EQ(list.lines[0].compare(0, 11, "PXR7 V1.02 "), 0);
    // 104 bytes do not fit one read of 100.
    EXPECT_EQ(readsWithData(rig.trace()), 2);
}

TEST(SimVersionQuery, AnswerArrivingInPiecesIsReadWhole) {
    SimRig rig("[bridge 0]\nversion = PXR7 V1.02\nversion_reply = split\n");
    ASSERT_TRUE(rig.ready());
    ListLines list;
    EXPECT_EQ(listVersions(list.lines), 1);
    EXPECT_EQ(list.lines, std::vector<std::string>{"PXR7 V1.02"});
    EXPECT_EQ(readsWithData(rig.trace()), 3);
}

TEST(SimVersionQuery, BridgeThatCannotBeOpenedGetsOneOpenAndNothingElse) {
    SimRig rig("[bridge 0]\nopen = fail\n[bridge 1]\nversion = PXR7 V1.05\n");
    ASSERT_TRUE(rig.ready());
    ListLines list;
    EXPECT_EQ(listVersions(list.lines), 1);
    EXPECT_EQ(list.lines, std::vector<std::string>{"PXR7 V1.05"});
    EXPECT_EQ(callsForIndex(rig.trace(), 0), std::vector<std::string>{"FT_Open index=0 status=3"});
    EXPECT_TRUE(linesOfBridge(rig.trace(), 0).empty());
}

TEST(SimVersionQuery, FactoryFreshBridgeIsProgrammedCycledAndNotAsked) {
    SimRig rig("[bridge 0]\nversion = PXR7 V1.02\n[bridge 1]\neeprom = factory\n");
    ASSERT_TRUE(rig.ready());
    ListLines list;
    EXPECT_EQ(listVersions(list.lines), 1);
    EXPECT_EQ(list.lines, std::vector<std::string>{"PXR7 V1.02"});
    const std::vector<std::string> calls = callNames(linesOfBridge(rig.trace(), 1));
    const std::vector<std::string> expected = {"FT_GetDeviceInfo",
                                               "FT_Close",
                                               "FT_ClrDtr",
                                               "FT_SetBaudRate",
                                               "FT_SetDataCharacteristics",
                                               "FT_SetFlowControl",
                                               "FT_EE_Read",
                                               "FT_EE_Program",
                                               "FT_CyclePort",
                                               "FT_Close"};
    EXPECT_EQ(calls, expected);
}

// While a cycled bridge is off the bus the ones behind it move up one device index, as with
// FTDI's driver: the walk, which counted the bridges before it began, then reaches bridge 2 at
// index 1 and finds nothing at index 2. Bridge 1 is skipped for this walk.
TEST(SimVersionQuery, CycledBridgeShiftsTheIndicesBehindItDuringTheWalk) {
    SimRig rig("reenumerate_ms = 5000\n"
               "[bridge 0]\neeprom = factory\n"
               "[bridge 1]\nversion = PXR7 V1.11\n"
               "[bridge 2]\nversion = PXR7 V2.22\n");
    ASSERT_TRUE(rig.ready());
    ListLines list;
    EXPECT_EQ(listVersions(list.lines), 1);
    EXPECT_EQ(list.lines, std::vector<std::string>{"PXR7 V2.22"});
    EXPECT_TRUE(linesOfBridge(rig.trace(), 1).empty());
    EXPECT_EQ(callsForIndex(rig.trace(), 2), std::vector<std::string>{"FT_Open index=2 status=2"});
}

TEST(SimVersionQuery, MeterInItsBootLoaderDoesNotAnswer) {
    SimRig rig("[bridge 0]\n");
    ASSERT_TRUE(rig.ready());
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(d2xx().FT_Open(0, &handle), FT_OK);
    d2xx().FT_SetDtr(handle);
    d2xx().FT_ClrDtr(handle);
    d2xx().FT_Close(handle);
    ListLines list;
    EXPECT_EQ(listVersions(list.lines), 0);
}
