// The meter's side of the transfer exchange, driven step by step through DevicePort the way
// the upgrade procedure drives it: reset pulse, "}" / "{" handshake, "!"-paced wire records,
// final pulse. Checks what the meter stored and how it fails.
#include "bridge_library.h"
#include "device_port.h"
#include "meter_exchange.h"
#include "sim_rig.h"
#include "version_query.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

using namespace pxr7;

using namespace simrig;

namespace {

using Clock = std::chrono::steady_clock;

void openForTransfer(DevicePort& port, std::uint32_t baud = 1000000) {
    ASSERT_EQ(port.openAndConfigure(0, baud, 8, 0, 0), FT_OK);
    ASSERT_EQ(port.ensureBridgeConfig(true), FT_OK);
    ASSERT_EQ(port.configChanged, 0);
}

std::string readMeterVersion() {
    const MeterSearch search = searchMetersCorrectingLeads(SearchExtent::AllMeters);
    return search.meters.size() == 1 ? search.meters[0].version : std::string("(no answer)");
}

} // namespace

TEST(TransferExchange, WholeImageIsCapturedAndTheNewFirmwareReportsItsVersion) {
    SimRig rig("state_file = state.txt\n"
               "[bridge 0]\n"
               "capture = capture.bin\n"
               "expected_records = 5\n");
    ASSERT_TRUE(rig.ready());
    const std::vector<std::uint8_t> image = makeImage(5);
    EXPECT_EQ(readMeterVersion(), "PXR7 V1.02");
    {
        DevicePort port;
        openForTransfer(port);
        ASSERT_TRUE(resetPulse(port));
        ASSERT_EQ(handshake(port), 0) << "no handshake";
        ASSERT_EQ(sendRecords(port, image, 0, 5), 5u);
        ASSERT_EQ(awaitByte(port, '!', 2000), 0) << "no request after the last record";
        port.assertDtr();
        port.clearDtr();
        port.close();
    }
    EXPECT_EQ(fileText(rig.path("capture.bin")), std::string(image.begin(), image.end()));
    EXPECT_EQ(readMeterVersion(), "PXR7 V1.03");

    // A new program run on the same rig finds the new version.
    ASSERT_TRUE(rig.restart());
    EXPECT_EQ(readMeterVersion(), "PXR7 V1.03");
    EXPECT_NE(fileText(rig.path("state.txt")).find("version = \"PXR7 V1.03\""), std::string::npos);

    // The trace holds each record whole: 5 writes of 516 bytes, one "{".
    int records = 0;
    int braces = 0;
    for (const std::string& line : rig.trace()) {
        records += callName(line) == "FT_Write" && valueOf(line, "length") == "516" ? 1 : 0;
        braces += callName(line) == "FT_Write" && valueOf(line, "data") == "7B" ? 1 : 0;
    }
    EXPECT_EQ(records, 5);
    EXPECT_EQ(braces, 1);
}

TEST(TransferExchange, DamagedRecordSilencesTheMeterUntilTheNextReset) {
    SimRig rig("[bridge 0]\ncapture = capture.bin\nexpected_records = 4\ncorrupt_record = 2\n");
    ASSERT_TRUE(rig.ready());
    const std::vector<std::uint8_t> image = makeImage(4);
    DevicePort port;
    openForTransfer(port);
    ASSERT_TRUE(resetPulse(port));
    ASSERT_EQ(handshake(port), 0) << "no handshake";
    EXPECT_EQ(sendRecords(port, image, 0, 4), 3u) << "no request after the damaged record 2";
    EXPECT_FALSE(fileExists(rig.path("capture.bin")));

    // A new reset pulse brings the boot loader back, and this time record 2 gets through.
    ASSERT_TRUE(resetPulse(port));
    ASSERT_EQ(handshake(port), 0) << "no handshake";
    EXPECT_EQ(sendRecords(port, image, 0, 4), 4u);
    EXPECT_EQ(awaitByte(port, '!', 600), 0);
    port.close();
    EXPECT_EQ(fileText(rig.path("capture.bin")), std::string(image.begin(), image.end()));
}

TEST(TransferExchange, MeterStoppingAfterARecordSendsNoFurtherRequest) {
    SimRig rig("[bridge 0]\ncapture = capture.bin\nexpected_records = 4\nstop_after_record = 1\n");
    ASSERT_TRUE(rig.ready());
    const std::vector<std::uint8_t> image = makeImage(4);
    DevicePort port;
    openForTransfer(port);
    ASSERT_TRUE(resetPulse(port));
    ASSERT_EQ(handshake(port), 0) << "no handshake";
    EXPECT_EQ(sendRecords(port, image, 0, 4), 2u);
    EXPECT_FALSE(fileExists(rig.path("capture.bin")));
    // An incomplete image does not start: the meter stays in its boot loader.
    port.assertDtr();
    port.clearDtr();
    port.close();
    EXPECT_EQ(readMeterVersion(), "(no answer)");
}

TEST(TransferExchange, PulledLeadFailsEveryReadFromTheGivenRecordOn) {
    SimRig rig("[bridge 0]\nexpected_records = 4\nreads_fail_from_record = 1\n");
    ASSERT_TRUE(rig.ready());
    const std::vector<std::uint8_t> image = makeImage(4);
    DevicePort port;
    openForTransfer(port);
    ASSERT_TRUE(resetPulse(port));
    ASSERT_EQ(handshake(port), 0) << "no handshake";
    EXPECT_EQ(sendRecords(port, image, 0, 4), 2u);
    std::uint8_t byte = 0;
    EXPECT_EQ(port.read(&byte, 1), FT_IO_ERROR);
    EXPECT_EQ(port.bytesRead, 0u);
    port.close();
    const auto trace = rig.trace();
    EXPECT_EQ(valueOf(trace[trace.size() - 2], "status"), "4");
}

TEST(TransferExchange, MeterWithoutHandshakeNeverSendsTheBrace) {
    SimRig rig("[bridge 0]\nhandshake = none\n");
    ASSERT_TRUE(rig.ready());
    DevicePort port;
    openForTransfer(port);
    ASSERT_TRUE(resetPulse(port));
    EXPECT_EQ(awaitByte(port, '}', 300), -1);
    port.close();
}

TEST(TransferExchange, LateHandshakeComesNoEarlierThanItsDelay) {
    SimRig rig("[bridge 0]\nboot_delay_ms = 10\nhandshake = late:250\n");
    ASSERT_TRUE(rig.ready());
    DevicePort port;
    openForTransfer(port);
    ASSERT_EQ(port.assertDtr(), FT_OK);
    const auto cleared = Clock::now();
    ASSERT_EQ(port.clearDtr(), FT_OK);
    port.purgeReceive();
    port.setTimeouts(1, 1000);
    EXPECT_EQ(awaitByte(port, '}', 2000), 0);
    EXPECT_GE(Clock::now() - cleared, std::chrono::milliseconds(260));
    port.close();
}

TEST(TransferExchange, BootLoaderIgnoresALineAtTheWrongSpeed) {
    SimRig rig("[bridge 0]\nexpected_records = 2\n");
    ASSERT_TRUE(rig.ready());
    DevicePort port;
    openForTransfer(port, 115200);
    ASSERT_TRUE(resetPulse(port));
    // The "}" arrives, but the "{" at 115200 is not understood.
    ASSERT_EQ(handshake(port), 0);
    EXPECT_EQ(awaitByte(port, '!', 300), -1);
    // At the right speed the same meter answers.
    port.setBaudRate(1000000);
    const std::uint8_t answer = '{';
    port.write(&answer, 1);
    EXPECT_EQ(awaitByte(port, '!', 2000), 0);
    port.close();
}

TEST(TransferExchange, ReceivePurgeDropsTheBraceThatAlreadyArrived) {
    SimRig rig("latency_ms = 0\n[bridge 0]\nboot_delay_ms = 0\n");
    ASSERT_TRUE(rig.ready());
    DevicePort port;
    openForTransfer(port);
    port.assertDtr();
    port.clearDtr();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    port.purgeReceive();
    port.setTimeouts(1, 1000);
    EXPECT_EQ(awaitByte(port, '}', 200), -1);
    port.close();
}
