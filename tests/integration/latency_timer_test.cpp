// The optional FT_SetLatencyTimer: bound from the simulator, harmless when missing, checked
// and honoured by the simulated bridge.
#include "bridge_library.h"
#include "bridge_trace.h"
#include "sim_rig.h"
#include "version_query.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace pxr7;

using namespace simrig;

namespace {

void ignoreLine(const char*) {}

} // namespace

TEST(LatencyTimerBinding, BoundWhereTheLibraryHasItAndAbsentWithoutHarm) {
    SimRig rig("");
    ASSERT_TRUE(rig.ready());
    EXPECT_TRUE(bridgeHasLatencyTimer());

    D2xxTable cleared{};
    auto installCleared = [&] {
        cleared = d2xx();
        cleared.FT_SetLatencyTimer = nullptr;
        installBridgeTable(&cleared);
    };
    const struct {
        const char* name;
        std::function<void()> install;
    } cases[] = {
        {"library without the export",
         [] { loadBridgeLibraryFrom(PXR7_SIM_NOLATENCY_LIBRARY_PATH); }},
        {"table with the entry cleared", installCleared},
        {"call trace over that table",
         [&] {
             installCleared();
             installCallTrace(&ignoreLine);
         }},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(loadBridgeLibraryFrom(simLibraryPath()));
        c.install();
        EXPECT_TRUE(bridgeLibraryPresent()) << c.name;
        EXPECT_FALSE(bridgeHasLatencyTimer()) << c.name;
        const MeterSearch search = searchMetersCorrectingLeads(SearchExtent::AllMeters);
        ASSERT_EQ(search.meters.size(), 1u) << c.name;
        EXPECT_EQ(search.meters[0].version, "PXR7 V1.02") << c.name;
        removeCallTrace();
    }
    EXPECT_TRUE(loadBridgeLibraryFrom(simLibraryPath()));
}

TEST(SimLatencyTimer, ValuesAreCheckedAndTracedAndTwoMillisecondsBringTheReplyAtOnce) {
    // The scenario's 255 ms timer would hold the meter's ACK past the read's 100 ms.
    SimRig rig("latency_ms = 255\n");
    ASSERT_TRUE(rig.ready());
    const D2xxTable& t = d2xx();
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(t.FT_Open(0, &handle), FT_OK);
    rig.clearTrace();
    EXPECT_EQ(t.FT_SetLatencyTimer(handle, 1), FT_INVALID_PARAMETER);
    EXPECT_EQ(t.FT_SetLatencyTimer(nullptr, 2), FT_INVALID_HANDLE);
    EXPECT_EQ(t.FT_SetLatencyTimer(handle, 2), FT_OK);
    EXPECT_EQ(rig.trace(), (std::vector<std::string>{"FT_SetLatencyTimer bridge=0 ms=1 status=6",
                                                     "FT_SetLatencyTimer bridge=? ms=2 status=1",
                                                     "FT_SetLatencyTimer bridge=0 ms=2 status=0"}));

    std::uint8_t request[] = {0x02, 0x07, 'V', 'E', 'R', 'S', 'I', 'O', 'N', 0xD2};
    std::uint32_t count = 0;
    std::uint8_t ack = 0;
    ASSERT_EQ(t.FT_SetBaudRate(handle, 115200), FT_OK);
    ASSERT_EQ(t.FT_SetTimeouts(handle, 100, 1000), FT_OK);
    ASSERT_EQ(t.FT_Write(handle, request, sizeof request, &count), FT_OK);
    ASSERT_EQ(t.FT_Read(handle, &ack, 1, &count), FT_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(ack, 0x06);
    EXPECT_EQ(t.FT_Close(handle), FT_OK);
}
