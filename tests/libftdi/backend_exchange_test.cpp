// The libftdi backend through the real libftdi1 against simulated FT232Rs: counting and
// opening bridges, the version query at 115200 8N1, and a whole transfer byte for byte, the
// way tests/integration/transfer_exchange_test.cpp drives the D2XX simulator.
#include "bridge_library.h"
#include "device_port.h"
#include "ftdi_backend.h"
#include "meter_exchange.h"
#include "sim_rig.h"
#include "usb_sim_rig.h"
#include "version_query.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

using namespace pxr7;
using namespace simrig;
using simrig::callName;
using simrig::valueOf;
using usbrig::linesWith;
using usbrig::UsbSimRig;

namespace {

std::vector<std::string> meterVersions() {
    std::vector<std::string> lines;
    for (const MeterInfo& meter : searchMetersCorrectingLeads(SearchExtent::AllMeters).meters) {
        lines.push_back(meter.version);
    }
    return lines;
}

} // namespace

TEST(LibftdiExchange, CountsOpensAndIdentifiesEachBridge) {
    UsbSimRig rig("[bridge 0]\n[bridge 1]\ndescription = \"Second lead\"\n");
    ASSERT_TRUE(rig.ready());
    EXPECT_EQ(std::string(bridgeBackendName()).rfind("libftdi1 ", 0), 0u) << bridgeBackendName();
    const D2xxTable& t = d2xx();
    std::uint32_t count = 0;
    ASSERT_EQ(t.FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    EXPECT_EQ(count, 2u);

    FT_HANDLE handles[2] = {};
    const char* descriptions[2] = {"Tavelin QVRX", "Second lead"};
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(t.FT_Open(i, &handles[i]), FT_OK) << i;
        FT_DEVICE type = 0;
        std::uint32_t id = 0;
        char serial[16];
        char description[64];
        ASSERT_EQ(t.FT_GetDeviceInfo(handles[i], &type, &id, serial, description, nullptr), FT_OK);
        EXPECT_EQ(type, FT_DEVICE_232R);
        EXPECT_EQ(id, 0x04036001u);
        EXPECT_EQ(std::string(serial), "PX7A000" + std::to_string(i));
        EXPECT_STREQ(description, descriptions[i]);
    }
    FT_HANDLE again = nullptr;
    EXPECT_EQ(t.FT_Open(1, &again), FT_DEVICE_NOT_OPENED) << "a bridge opens only once";
    EXPECT_EQ(t.FT_Open(2, &again), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(again, nullptr);
    for (FT_HANDLE handle : handles) {
        EXPECT_EQ(t.FT_Close(handle), FT_OK);
    }
    // Reading who a bridge is leaves ftdi_sio on it: nothing detached, nothing claimed.
    for (const std::string& line : rig.trace()) {
        EXPECT_EQ(line.find("libusb_detach_kernel_driver"), std::string::npos) << line;
        EXPECT_EQ(line.find("libusb_claim_interface"), std::string::npos) << line;
    }
}

TEST(LibftdiExchange, VersionQueryOnAPortAt115200) {
    UsbSimRig rig("[bridge 0]\nversion = PXR7 V1.02\n[bridge 1]\nversion = PXR7 V2.10\n");
    ASSERT_TRUE(rig.ready());
    DevicePort port;
    ASSERT_EQ(port.openAndConfigure(0, 115200, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
    char version[kVersionTextSize];
    EXPECT_TRUE(queryMeterVersion(port, version));
    EXPECT_STREQ(version, "PXR7 V1.02");
    port.close();

    // The requests on the wire: DTR low, 115200 (divisor 26: 115385 baud), 8N1, no flow
    // control, both purges, then the framed command on the bulk OUT endpoint.
    std::vector<std::string> requests;
    for (const std::string& line : rig.trace()) {
        const std::string request = valueOf(line, "request");
        if (!request.empty() && request != "SIO_READ_EEPROM") {
            requests.push_back(line.substr(line.find("request=")));
        } else if (valueOf(line, "endpoint") == "2") {
            requests.push_back("OUT " + valueOf(line, "data"));
        }
    }
    const std::vector<std::string> expected = {
        "request=SIO_RESET value=0 status=0", // taking the serial side over
        "request=SIO_SET_MODEM_CTRL dtr=0 status=0",
        "request=SIO_SET_BAUD_RATE baud=115385 status=0",
        "request=SIO_SET_DATA bits=8 stop=0 parity=0 status=0",
        "request=SIO_SET_FLOW_CTRL mode=0 status=0",
        "request=SIO_RESET value=2 status=0",
        "request=SIO_RESET value=1 status=0",
        "OUT 020756455253494F4ED2",
    };
    EXPECT_EQ(requests, expected);

    // The whole walk over two bridges, as the front ends run it.
    EXPECT_EQ(meterVersions(), (std::vector<std::string>{"PXR7 V1.02", "PXR7 V2.10"}));
}

TEST(LibftdiExchange, WholeTransferArrivesByteForByte) {
    UsbSimRig rig("state_file = state.txt\n[bridge 0]\ncapture = capture.bin\n");
    ASSERT_TRUE(rig.ready());
    const std::size_t records = 314;
    const std::vector<std::uint8_t> image = makeImage(records);
    {
        DevicePort port;
        ASSERT_EQ(port.openAndConfigure(0, 1000000, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE),
                  FT_OK);
        ASSERT_EQ(port.ensureBridgeConfig(true), FT_OK);
        ASSERT_EQ(port.configChanged, 0);
        ASSERT_TRUE(resetPulse(port));
        ASSERT_EQ(handshake(port), 0) << "no handshake";
        ASSERT_EQ(sendRecords(port, image, 0, records, 1000), records);
        ASSERT_EQ(awaitByte(port, '!', 2000), 0) << "no request after the last record";
        port.assertDtr();
        port.clearDtr();
        port.close();
    }
    std::string capture;
    ASSERT_TRUE(simrig::readFile(rig.path("capture.bin"), capture));
    EXPECT_TRUE(capture == std::string(image.begin(), image.end())) << capture.size() << " bytes";
    EXPECT_EQ(meterVersions(), std::vector<std::string>{"PXR7 V1.03"});
    // Each record went out as one bulk write of 516 bytes; the EEPROM was never written.
    const auto trace = rig.trace();
    EXPECT_EQ(linesWith(trace, "length", "516").size(), records);
    EXPECT_TRUE(linesWith(trace, "request", "SIO_WRITE_EEPROM").empty());
}

// Purges act on the right direction: RX drops the "}" already in the chip, TX the bytes not
// yet on the wire (a "{" queued behind a short burst at 300 baud).
TEST(LibftdiExchange, EachPurgeEmptiesItsOwnDirection) {
    UsbSimRig rig("latency_ms = 1\n[bridge 0]\nboot_delay_ms = 0\n");
    ASSERT_TRUE(rig.ready());
    DevicePort port;
    ASSERT_EQ(port.openAndConfigure(0, 1000000, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
    port.setTimeouts(1, 1000);
    port.assertDtr();
    port.clearDtr();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ASSERT_EQ(port.purgeReceive(), FT_OK);
    EXPECT_EQ(awaitByte(port, '}', 200), -1) << "receive purge left the brace";

    port.assertDtr();
    port.clearDtr();
    ASSERT_EQ(awaitByte(port, '}', 1000), 0);
    port.setBaudRate(300);
    const std::vector<std::uint8_t> filler(4, 0x55); // 133 ms on the wire
    port.write(filler.data(), static_cast<std::uint32_t>(filler.size()));
    port.setBaudRate(1000000);
    const std::uint8_t answer = '{';
    port.write(&answer, 1);
    ASSERT_EQ(port.purgeTransmit(), FT_OK);
    EXPECT_EQ(awaitByte(port, '!', 500), -1) << "transmit purge let the '{' through";
    port.write(&answer, 1);
    EXPECT_EQ(awaitByte(port, '!', 1000), 0);
    port.close();
}
