// The simulated FT232R's latency timer as FT_SetLatencyTimer sets it, on explicit time stamps.
#include "bridge.h"
#include "receive_path.h"

#include <gtest/gtest.h>

using namespace sim;

TEST(SimLatencyModel, LoneByteLeavesAtTheFirstTickOfTheTimerInForce) {
    const struct {
        const char* name;
        Micros setAt; // -1: not set, the 16 ms from the open
        int setMs;
        Micros delivered;
    } cases[] = {
        {"16 ms from the open", -1, 0, 16000},
        {"2 ms set before the byte", 500, 2, 2500},
        {"2 ms set while the byte waits in the chip", 3000, 2, 5000},
    };
    for (const auto& c : cases) {
        ReceivePath path;
        path.restart(0, 16);
        path.schedule(1000, 'A');
        if (c.setAt >= 0) {
            path.setLatency(c.setAt, c.setMs);
        }
        path.advance(c.delivered - 1);
        EXPECT_EQ(path.available(), 0u) << c.name;
        path.advance(c.delivered);
        EXPECT_EQ(path.available(), 1u) << c.name;
    }
}

TEST(SimLatencyModel, OpeningTheBridgeAgainBringsBackTheScenarioTimer) {
    BridgeScenario config;
    Bridge bridge(config, rightEeprom("PX7A0000"), "PXR7 V1.02", 16);
    bridge.open(0);
    bridge.setLatencyTimer(0, 2);
    bridge.close();
    bridge.open(100000);
    EXPECT_EQ(bridge.latencyTimerMs(), 16);
    // The meter's ACK reaches the chip about 3 ms after the request; it waits for 16 ms.
    const std::uint8_t request[] = {0x02, 0x07, 'V', 'E', 'R', 'S', 'I', 'O', 'N', 0xD2};
    bridge.line.baud = 115200;
    bridge.write(100000, request, sizeof request);
    bridge.advance(115999);
    EXPECT_EQ(bridge.available(), 0u);
    bridge.advance(116000);
    EXPECT_GT(bridge.available(), 0u);
}
