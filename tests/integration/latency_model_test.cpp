// The simulated FT232R's latency timer as FT_SetLatencyTimer changes it, on explicit time
// stamps: when a lone byte reaches the host, and that opening the bridge again brings back
// the scenario's timer.
#include "bridge.h"
#include "receive_path.h"

#include <gtest/gtest.h>

#include <vector>

using namespace sim;

namespace {

constexpr Micros kNoSetting = -1;

const std::vector<std::uint8_t> kVersionRequest = {0x02, 0x07, 'V', 'E', 'R',
                                                   'S',  'I',  'O', 'N', 0xD2};

} // namespace

TEST(SimLatencyModel, LoneByteLeavesAtTheFirstTickOfTheTimerInForce) {
    struct Case {
        const char* name;
        Micros setAt;
        int setMs;
        Micros byteAt;
        Micros delivered;
    } cases[] = {
        {"the default, 16 ms from the open", kNoSetting, 0, 1000, 16000},
        {"2 ms set before the byte", 500, 2, 1000, 2500},
        {"2 ms set while the byte waits in the chip", 3000, 2, 1000, 5000},
        {"255 ms set before the byte", 500, 255, 1000, 255500},
    };
    for (const Case& c : cases) {
        ReceivePath path;
        path.restart(0, 16);
        // Scheduled ahead: the byte is on its way at the setting, or already in the chip.
        path.schedule(c.byteAt, 'A');
        if (c.setAt != kNoSetting) {
            path.setLatency(c.setAt, c.setMs);
        }
        EXPECT_EQ(path.nextDelivery(), c.delivered) << c.name;
        path.advance(c.delivered - 1);
        EXPECT_EQ(path.available(), 0u) << c.name;
        path.advance(c.delivered);
        EXPECT_EQ(path.available(), 1u) << c.name;
    }
}

TEST(SimLatencyModel, OpeningTheBridgeAgainBringsBackTheScenarioTimer) {
    // The meter's ACK reaches the chip about 3 ms after the request leaves: at the next 2 ms
    // tick with the timer set, at the 16 ms tick after a fresh open.
    struct Case {
        const char* name;
        bool reopen;
        bool arrivedBy6ms;
    } cases[] = {
        {"timer set to 2 ms", false, true},
        {"timer set, then the bridge closed and opened again", true, false},
    };
    for (const Case& c : cases) {
        BridgeScenario config;
        config.version = "PXR7 V1.02";
        Bridge bridge(config, rightEeprom("PX7A0000"), config.version, 16);
        bridge.open(0);
        bridge.setLatencyTimer(0, 2);
        Micros start = 0;
        if (c.reopen) {
            bridge.close();
            start = 100000;
            bridge.open(start);
        }
        EXPECT_EQ(bridge.latencyTimerMs(), c.reopen ? 16 : 2) << c.name;
        bridge.line.baud = 115200;
        bridge.write(start, kVersionRequest.data(),
                     static_cast<std::uint32_t>(kVersionRequest.size()));
        bridge.advance(start + 6000);
        EXPECT_EQ(bridge.available() > 0, c.arrivedBy6ms) << c.name;
        bridge.advance(start + 16000);
        EXPECT_GT(bridge.available(), 0u) << c.name;
    }
}
