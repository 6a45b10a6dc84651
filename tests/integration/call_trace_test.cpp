// The live call trace in front of the simulated library: one line per call with the status
// the library gave, the original table back after removal, one line at a time from threads.
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
    g_overlaps += g_inSink.fetch_add(1) != 0 ? 1 : 0;
    g_lines.emplace_back(line);
    std::this_thread::yield(); // widens the window in which a second caller would show
    g_inSink.fetch_sub(1);
}

} // namespace

TEST(CallTrace, OneLinePerCallWithTheLibrarysStatusAndResults) {
    SimRig rig("bridges = 2\n");
    ASSERT_TRUE(rig.ready());
    const D2xxTable* original = &d2xx();
    g_lines.clear();
    installCallTrace(&collect);
    const D2xxTable& t = d2xx();
    std::uint32_t count = 0;
    FT_HANDLE first = nullptr;
    FT_HANDLE second = nullptr;
    std::uint8_t request[] = {0x02, 0x07, 'V', 'E', 'R', 'S', 'I', 'O', 'N', 0xD2};
    std::uint8_t ack = 0;
    FT_DEVICE type = 0;
    char serial[16];
    char description[64];
    const struct {
        FT_STATUS got;
        FT_STATUS wanted;
        const char* line;
    } calls[] = {
        {t.FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK,
         "FT_ListDevices(0x80000000) -> 0, 2 devices"},
        {t.FT_Open(0, &first), FT_OK, "FT_Open(0) -> 0, handle 1"},
        {t.FT_Open(1, &second), FT_OK, "FT_Open(1) -> 0, handle 2"},
        {t.FT_Open(7, &second), FT_DEVICE_NOT_FOUND, "FT_Open(7) -> 2"},
        {t.FT_SetBaudRate(first, 115200), FT_OK, "FT_SetBaudRate(handle 1, 115200) -> 0"},
        {t.FT_SetLatencyTimer(first, 1), FT_INVALID_PARAMETER,
         "FT_SetLatencyTimer(handle 1, 1) -> 6"},
        {t.FT_Write(first, request, 10, &count), FT_OK, "FT_Write(handle 1, 10) -> 0, 10 bytes"},
        {t.FT_Read(first, &ack, 1, &count), FT_OK, "FT_Read(handle 1, 1) -> 0, 1 byte"},
        {t.FT_GetDeviceInfo(second, &type, &count, serial, description, nullptr), FT_OK,
         "FT_GetDeviceInfo(handle 2) -> 0, type 5, id 0x04036001"},
        {t.FT_Purge(nullptr, 3), FT_INVALID_HANDLE, "FT_Purge(handle null, 3) -> 1"},
        {t.FT_Close(first), FT_OK, "FT_Close(handle 1) -> 0"},
        {t.FT_Close(first), FT_INVALID_HANDLE, "FT_Close(handle 1) -> 1"},
    };
    ASSERT_EQ(g_lines.size(), std::size(calls));
    for (std::size_t i = 0; i < std::size(calls); ++i) {
        EXPECT_EQ(calls[i].got, calls[i].wanted) << calls[i].line;
        EXPECT_EQ(g_lines[i], calls[i].line);
    }
    EXPECT_EQ(ack, 0x06) << "the read's byte came through";
    EXPECT_EQ(rig.trace().size(), std::size(calls)) << "each call reached the library once";

    removeCallTrace();
    EXPECT_EQ(&d2xx(), original);
    EXPECT_EQ(d2xx().FT_Close(second), FT_OK);
    EXPECT_EQ(g_lines.size(), std::size(calls));
}

TEST(CallTrace, CallsFromSeveralThreadsReachTheSinkOneLineAtATime) {
    SimRig rig("bridges = 2\n");
    ASSERT_TRUE(rig.ready());
    g_lines.clear();
    installCallTrace(&collect);
    constexpr int kRounds = 200;
    auto work = [](int index) {
        FT_HANDLE handle = nullptr;
        d2xx().FT_Open(index, &handle);
        for (int i = 0; i < kRounds; ++i) {
            d2xx().FT_Purge(handle, FT_PURGE_RX);
        }
        d2xx().FT_Close(handle);
    };
    std::thread first(work, 0);
    std::thread second(work, 1);
    first.join();
    second.join();
    removeCallTrace();
    EXPECT_EQ(g_overlaps.load(), 0);
    EXPECT_EQ(g_lines.size(), 2u * (kRounds + 2));
}
