// The optional FT_SetLatencyTimer: bound from the simulator when it has it, left out without
// harm when it has not, checked and honoured by the simulated bridge.
#include "bridge_library.h"
#include "sim_rig.h"
#include "version_query.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <functional>
#include <string>
#include <vector>

using namespace pxr7;

using namespace simrig;

namespace {

const char* noLatencySimLibraryPath() {
    return PXR7_SIM_NOLATENCY_LIBRARY_PATH;
}

FT_HANDLE openBridge(std::uint32_t baud) {
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(d2xx().FT_Open(0, &handle), FT_OK);
    EXPECT_EQ(d2xx().FT_SetBaudRate(handle, baud), FT_OK);
    return handle;
}

} // namespace

TEST(LatencyTimerBinding, BoundFromTheSimulatorAndPresentInEveryBuildButTheOneWithoutIt) {
    SimRig rig("");
    ASSERT_TRUE(rig.ready());
    EXPECT_TRUE(bridgeHasLatencyTimer());
    void* module = dlopen(simLibraryPath(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(d2xx().FT_SetLatencyTimer),
              dlsym(module, "FT_SetLatencyTimer"));
    dlclose(module);

    const struct {
        const char* path;
        bool hasLatencyTimer;
    } builds[] = {{incompleteSimLibraryPath(), true}, {noLatencySimLibraryPath(), false}};
    for (const auto& build : builds) {
        void* other = dlopen(build.path, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(other, nullptr) << dlerror();
        EXPECT_EQ(dlsym(other, "FT_SetLatencyTimer") != nullptr, build.hasLatencyTimer)
            << build.path;
        dlclose(other);
    }
}

TEST(LatencyTimerBinding, WithoutTheEntryTheLibraryIsStillWhole) {
    SimRig rig("");
    ASSERT_TRUE(rig.ready());
    D2xxTable cleared{};
    const struct {
        const char* name;
        std::function<bool()> install;
    } cases[] = {
        {"library without the export",
         [] { return loadBridgeLibraryFrom(noLatencySimLibraryPath()); }},
        {"table with the entry cleared",
         [&] {
             if (!loadBridgeLibraryFrom(simLibraryPath())) {
                 return false;
             }
             cleared = d2xx();
             cleared.FT_SetLatencyTimer = nullptr;
             installBridgeTable(&cleared);
             return true;
         }},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(c.install()) << c.name;
        EXPECT_TRUE(bridgeLibraryPresent()) << c.name;
        EXPECT_FALSE(bridgeHasLatencyTimer()) << c.name;
        EXPECT_EQ(d2xx().FT_SetLatencyTimer, nullptr) << c.name;
        const MeterSearch search = searchMetersCorrectingLeads(SearchExtent::AllMeters);
        ASSERT_EQ(search.meters.size(), 1u) << c.name;
        EXPECT_EQ(search.meters[0].version, "PXR7 V1.02") << c.name;
    }
    // Back to the whole simulator, as the rig left it.
    EXPECT_TRUE(loadBridgeLibraryFrom(simLibraryPath()));
}

TEST(SimLatencyTimer, ValuesAreCheckedAndEachCallTraced) {
    SimRig rig("");
    ASSERT_TRUE(rig.ready());
    FT_HANDLE handle = openBridge(115200);
    rig.clearTrace();
    const struct {
        std::uint8_t ms;
        FT_STATUS status;
    } cases[] = {{0, FT_INVALID_PARAMETER}, {1, FT_INVALID_PARAMETER}, {2, FT_OK}, {255, FT_OK}};
    std::vector<std::string> expected;
    for (const auto& c : cases) {
        EXPECT_EQ(d2xx().FT_SetLatencyTimer(handle, c.ms), c.status) << int{c.ms};
        expected.push_back("FT_SetLatencyTimer bridge=0 ms=" + std::to_string(c.ms) +
                           " status=" + std::to_string(c.status));
    }
    EXPECT_EQ(d2xx().FT_SetLatencyTimer(nullptr, 2), FT_INVALID_HANDLE);
    expected.push_back("FT_SetLatencyTimer bridge=? ms=2 status=1");
    EXPECT_EQ(rig.trace(), expected);
    EXPECT_EQ(d2xx().FT_Close(handle), FT_OK);
}

TEST(SimLatencyTimer, TwoMillisecondsBringTheReplyWithinAReadShorterThanTheDefaultTimer) {
    // The scenario's timer (255 ms) would hold the meter's ACK past the read's 100 ms; set to
    // 2 ms it comes in the first read.
    SimRig rig("latency_ms = 255\n");
    ASSERT_TRUE(rig.ready());
    FT_HANDLE handle = openBridge(115200);
    ASSERT_EQ(d2xx().FT_SetLatencyTimer(handle, 2), FT_OK);
    ASSERT_EQ(d2xx().FT_SetTimeouts(handle, 100, 1000), FT_OK);
    std::uint8_t request[] = {0x02, 0x07, 'V', 'E', 'R', 'S', 'I', 'O', 'N', 0xD2};
    std::uint32_t count = 0;
    ASSERT_EQ(d2xx().FT_Write(handle, request, sizeof request, &count), FT_OK);
    std::uint8_t ack = 0;
    ASSERT_EQ(d2xx().FT_Read(handle, &ack, 1, &count), FT_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(ack, 0x06);
    EXPECT_EQ(d2xx().FT_Close(handle), FT_OK);
}
