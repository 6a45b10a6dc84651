// The live call trace in front of the simulated library: one line per call, statuses and
// results passed through untouched, the original table back after removal, and one line at a
// time when several threads call at once.
#include "bridge_library.h"
#include "bridge_trace.h"
#include "sim_rig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace pxr7;

using namespace simrig;

namespace {

std::vector<std::string> g_lines;
std::atomic<int> g_inSink{0};
std::atomic<int> g_overlaps{0};

void collect(const char* line) {
    if (g_inSink.fetch_add(1) != 0) {
        ++g_overlaps;
    }
    g_lines.emplace_back(line);
    // Stays a moment, so a wrapper that let two calls in at once would be caught doing it.
    std::this_thread::yield();
    g_inSink.fetch_sub(1);
}

// The status of each call, in order, as the simulator's own trace recorded it.
std::vector<std::string> simStatuses(const std::vector<std::string>& trace) {
    std::vector<std::string> statuses;
    for (const std::string& line : trace) {
        statuses.push_back(valueOf(line, "status"));
    }
    return statuses;
}

std::vector<std::string> traceStatuses(const std::vector<std::string>& lines) {
    std::vector<std::string> statuses;
    for (const std::string& line : lines) {
        const std::size_t arrow = line.find(") -> ");
        statuses.push_back(line.substr(arrow + 5, line.find(',', arrow) - arrow - 5));
    }
    return statuses;
}

} // namespace

TEST(CallTrace, EachCallGivesOneLineAndItsStatusAndResultsUntouched) {
    SimRig rig("bridges = 2\n");
    ASSERT_TRUE(rig.ready());
    const D2xxTable* original = &d2xx();
    g_lines.clear();
    installCallTrace(&collect);
    ASSERT_NE(&d2xx(), original);
    EXPECT_TRUE(bridgeHasLatencyTimer());

    const D2xxTable& t = d2xx();
    std::uint32_t count = 0;
    FT_HANDLE first = nullptr;
    FT_HANDLE second = nullptr;
    std::uint8_t request[] = {0x02, 0x07, 'V', 'E', 'R', 'S', 'I', 'O', 'N', 0xD2};
    std::uint8_t reply[32] = {};
    FT_DEVICE type = 0;
    std::uint32_t id = 0;
    char serial[16];
    char description[64];
    const struct {
        FT_STATUS got;
        FT_STATUS wanted;
    } calls[] = {
        {t.FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK},
        {t.FT_Open(0, &first), FT_OK},
        {t.FT_Open(1, &second), FT_OK},
        {t.FT_Open(7, &second), FT_DEVICE_NOT_FOUND},
        {t.FT_SetBaudRate(first, 115200), FT_OK},
        {t.FT_SetDataCharacteristics(first, 8, 0, 0), FT_OK},
        {t.FT_SetFlowControl(first, 0x0000, 0, 0), FT_OK},
        {t.FT_SetLatencyTimer(first, 2), FT_OK},
        {t.FT_SetLatencyTimer(first, 1), FT_INVALID_PARAMETER},
        {t.FT_SetTimeouts(first, 300, 1000), FT_OK},
        {t.FT_Purge(first, FT_PURGE_RX | FT_PURGE_TX), FT_OK},
        {t.FT_Write(first, request, sizeof request, &count), FT_OK},
        {t.FT_Read(first, reply, 1, &count), FT_OK},
        {t.FT_SetDtr(second), FT_OK},
        {t.FT_ClrDtr(second), FT_OK},
        {t.FT_GetDeviceInfo(second, &type, &id, serial, description, nullptr), FT_OK},
        {t.FT_SetBaudRate(nullptr, 9600), FT_INVALID_HANDLE},
        {t.FT_Close(second), FT_OK},
        {t.FT_Close(first), FT_OK},
        {t.FT_Close(first), FT_INVALID_HANDLE},
    };
    for (std::size_t i = 0; i < std::size(calls); ++i) {
        EXPECT_EQ(calls[i].got, calls[i].wanted) << "call " << i;
    }
    EXPECT_EQ(reply[0], 0x06) << "the read's bytes came through";
    EXPECT_EQ(id, 0x04036001u);

    EXPECT_EQ(g_lines, (std::vector<std::string>{
                           "FT_ListDevices(0x80000000) -> 0, 2 devices",
                           "FT_Open(0) -> 0, handle 1",
                           "FT_Open(1) -> 0, handle 2",
                           "FT_Open(7) -> 2",
                           "FT_SetBaudRate(handle 1, 115200) -> 0",
                           "FT_SetDataCharacteristics(handle 1, 8, 0, 0) -> 0",
                           "FT_SetFlowControl(handle 1, 0x0000) -> 0",
                           "FT_SetLatencyTimer(handle 1, 2) -> 0",
                           "FT_SetLatencyTimer(handle 1, 1) -> 6",
                           "FT_SetTimeouts(handle 1, 300, 1000) -> 0",
                           "FT_Purge(handle 1, 3) -> 0",
                           "FT_Write(handle 1, 10) -> 0, 10 bytes",
                           "FT_Read(handle 1, 1) -> 0, 1 byte",
                           "FT_SetDtr(handle 2) -> 0",
                           "FT_ClrDtr(handle 2) -> 0",
                           "FT_GetDeviceInfo(handle 2) -> 0, type 5, id 0x04036001",
                           "FT_SetBaudRate(handle null, 9600) -> 1",
                           "FT_Close(handle 2) -> 0",
                           "FT_Close(handle 1) -> 0",
                           "FT_Close(handle 1) -> 1",
                       }));
    // Every call reached the library once, and the line tells the status the library gave.
    EXPECT_EQ(traceStatuses(g_lines), simStatuses(rig.trace()));

    removeCallTrace();
    EXPECT_EQ(&d2xx(), original);
    g_lines.clear();
    EXPECT_EQ(d2xx().FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    EXPECT_TRUE(g_lines.empty());
}

TEST(CallTrace, KeepsAMissingOptionalEntryMissing) {
    SimRig rig("");
    ASSERT_TRUE(rig.ready());
    const D2xxTable* bound = &d2xx();
    D2xxTable cleared = *bound;
    cleared.FT_SetLatencyTimer = nullptr;
    installBridgeTable(&cleared);
    installCallTrace(&collect);
    EXPECT_NE(&d2xx(), &cleared);
    EXPECT_FALSE(bridgeHasLatencyTimer());
    removeCallTrace();
    EXPECT_EQ(&d2xx(), &cleared);
    installBridgeTable(bound);
}

TEST(CallTrace, CallsFromSeveralThreadsReachTheSinkOneLineAtATime) {
    SimRig rig("bridges = 2\n");
    ASSERT_TRUE(rig.ready());
    g_lines.clear();
    g_overlaps = 0;
    installCallTrace(&collect);
    constexpr int kRounds = 200;
    auto work = [](int index) {
        const D2xxTable& t = d2xx();
        FT_HANDLE handle = nullptr;
        if (t.FT_Open(index, &handle) != FT_OK) {
            return;
        }
        for (int i = 0; i < kRounds; ++i) {
            t.FT_SetTimeouts(handle, 1, 1000);
            t.FT_Purge(handle, FT_PURGE_RX);
        }
        t.FT_Close(handle);
    };
    std::thread first(work, 0);
    std::thread second(work, 1);
    first.join();
    second.join();
    removeCallTrace();
    EXPECT_EQ(g_overlaps.load(), 0);
    EXPECT_EQ(g_lines.size(), 2u * (2 + 2 * kRounds));
    EXPECT_EQ(g_lines.size(), rig.trace().size());
}
