// The simulator's timing and protocol model on explicit time stamps, with no clock involved:
// the FT232R receive path (latency timer, 62-byte packets, purge), the meter's replies and
// boot loader, the scenario reader and the state file. The scenario's fault knobs and callers
// in several threads are checked through the sim core's D2XX calls, on the steady clock.
#include "bridge.h"
#include "d2xx_calls.h"
#include "eeprom_image.h"
#include "meter.h"
#include "receive_path.h"
#include "rig_state_file.h"
#include "scenario.h"
#include "unit_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <vector>

using namespace sim;
using namespace sim::calls;

namespace {

std::vector<std::uint8_t> takeAll(ReceivePath& path) {
    std::vector<std::uint8_t> bytes(path.available());
    path.take(bytes.data(), bytes.size());
    return bytes;
}

constexpr LineFormat kApplicationLine{115200, 8, 0, 0, 0};
constexpr LineFormat kBootLine{1000000, 8, 0, 0, 0};
const std::vector<std::uint8_t> kVersionRequest = {0x02, 0x07, 'V', 'E', 'R',
                                                   'S',  'I',  'O', 'N', 0xD2};

// Feeds bytes to the meter as if sent back to back from start on the given line.
Micros feed(Meter& meter, Micros start, const std::vector<std::uint8_t>& bytes,
            const LineFormat& line) {
    Micros at = start;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        at = start + byteEndTime(i, line.baud);
        meter.receive(at, bytes[i], line);
    }
    return at;
}

std::vector<std::uint8_t> reply(const std::string& text) {
    std::vector<std::uint8_t> bytes{0x06, 0x02, static_cast<std::uint8_t>(text.size())};
    unsigned sum = static_cast<unsigned>(text.size());
    for (const char c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c));
        sum += static_cast<std::uint8_t>(c);
    }
    bytes.push_back(static_cast<std::uint8_t>(~sum));
    return bytes;
}

std::vector<std::uint8_t> wireRecord(std::uint8_t seed) {
    std::vector<std::uint8_t> wire;
    unsigned sum = 0;
    for (int i = 0; i < 515; ++i) {
        wire.push_back(static_cast<std::uint8_t>(seed + i * 7));
        sum += wire.back();
    }
    wire.push_back(static_cast<std::uint8_t>(sum));
    return wire;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file of the running test's own: ctest runs the tests in parallel processes.
std::string testFile(const std::string& name) {
    return ::testing::TempDir() + "sim_model_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" + name;
}

// The sim core's D2XX calls on a scenario, as one program run sees them, with its trace.
struct CallBench {
    explicit CallBench(const std::string& scenario) {
        std::ofstream(testFile("scenario.txt")) << scenario;
        std::ofstream(testFile("trace.txt")).flush();
        setenv("PXR7_SIM_SCENARIO", testFile("scenario.txt").c_str(), 1);
        setenv("PXR7_SIM_TRACE", testFile("trace.txt").c_str(), 1);
        resetFromEnvironment();
    }
    ~CallBench() {
        unsetenv("PXR7_SIM_SCENARIO");
        unsetenv("PXR7_SIM_TRACE");
        resetFromEnvironment();
        std::remove(testFile("scenario.txt").c_str());
        std::remove(testFile("trace.txt").c_str());
    }
    std::vector<std::string> trace() const {
        std::vector<std::string> lines;
        std::ifstream in(testFile("trace.txt"));
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    FT_HANDLE open(int index = 0) {
        FT_HANDLE handle = nullptr;
        EXPECT_EQ(FT_Open(index, &handle), FT_OK);
        return handle;
    }
};

FT_PROGRAM_DATA blankRecord() {
    FT_PROGRAM_DATA record{};
    record.Signature2 = 0xFFFFFFFF;
    record.Version = 2;
    return record;
}

struct MeterBench {
    explicit MeterBench(const BridgeScenario& config, int latencyMs = 0)
        : meter(config, config.version, path) {
        path.restart(0, latencyMs);
    }
    std::vector<std::uint8_t> outputUntil(Micros t) {
        path.advance(t);
        return takeAll(path);
    }
    ReceivePath path;
    Meter meter;
};

} // namespace

TEST(SimReceivePath, LoneByteWaitsForTheNextLatencyTickCountedFromOpen) {
    ReceivePath path;
    path.restart(5000, 16);
    path.schedule(6000, 'A');
    EXPECT_EQ(path.nextDelivery(), 21000);
    path.advance(20999);
    EXPECT_EQ(path.available(), 0u);
    path.advance(21000);
    EXPECT_EQ(takeAll(path), std::vector<std::uint8_t>{'A'});
    // A byte landing exactly on a tick leaves with it.
    path.schedule(37000, 'B');
    EXPECT_EQ(path.nextDelivery(), 37000);
}

TEST(SimReceivePath, SixtyTwoBytesLeaveWithoutWaitingForTheTimer) {
    ReceivePath path;
    path.restart(0, 16);
    for (int i = 0; i < 70; ++i) {
        path.schedule(100 + 10 * i, static_cast<std::uint8_t>(i));
    }
    path.advance(100 + 10 * 61 - 1);
    EXPECT_EQ(path.available(), 0u);
    path.advance(100 + 10 * 61);
    EXPECT_EQ(path.available(), 62u);
    EXPECT_EQ(path.nextDelivery(), 16000);
    path.advance(16000);
    EXPECT_EQ(path.available(), 70u);
    const auto bytes = takeAll(path);
    for (int i = 0; i < 70; ++i) {
        ASSERT_EQ(bytes[static_cast<std::size_t>(i)], i) << "order kept";
    }
}

TEST(SimReceivePath, WithoutLatencyTimerBytesArriveAtOnce) {
    ReceivePath path;
    path.restart(0, 0);
    path.schedule(500, 'x');
    path.advance(499);
    EXPECT_EQ(path.available(), 0u);
    path.advance(500);
    EXPECT_EQ(path.available(), 1u);
}

TEST(SimReceivePath, PurgeDropsWhatArrivedAndKeepsWhatIsStillOnTheWay) {
    ReceivePath path;
    path.restart(0, 16);
    path.schedule(1000, 'a');  // delivered at 16000, not read
    path.schedule(17000, 'b'); // in the chip at the purge
    path.schedule(40000, 'c'); // still on the wire
    path.advance(16000);
    path.purge(20000);
    EXPECT_EQ(path.available(), 0u);
    path.advance(100000);
    EXPECT_EQ(takeAll(path), std::vector<std::uint8_t>{'c'});
}

TEST(SimReceivePath, ResetMeterTakesBackWhatItHadNotSent) {
    ReceivePath path;
    path.restart(0, 0);
    path.schedule(1000, 'a');
    path.schedule(3000, 'b');
    path.cancelAfter(2000);
    path.advance(100000);
    EXPECT_EQ(takeAll(path), std::vector<std::uint8_t>{'a'});
}

TEST(SimMeter, AnswersTheVersionRequestOnlyOnTheApplicationLine) {
    BridgeScenario config;
    config.version = "PXR7 V1.02";
    MeterBench bench(config);
    const Micros last = feed(bench.meter, 0, kVersionRequest, kApplicationLine);
    // Nothing before the meter has had its 2 ms to think.
    EXPECT_TRUE(bench.outputUntil(last + 2000).empty());
    EXPECT_EQ(bench.outputUntil(last + 100000), reply("PXR7 V1.02"));

    for (const LineFormat line : {LineFormat{9600, 8, 0, 0, 0}, LineFormat{115200, 7, 0, 0, 0},
                                  LineFormat{115200, 8, 2, 0, 0}, LineFormat{115200, 8, 0, 2, 0},
                                  LineFormat{115200, 8, 0, 0, 0x0100}, kBootLine}) {
        feed(bench.meter, 200000, kVersionRequest, line);
        EXPECT_TRUE(bench.outputUntil(1000000).empty()) << line.baud;
    }
}

TEST(SimMeter, AnswersOtherCommandsAndGarbledFramesWithNak) {
    BridgeScenario config;
    MeterBench bench(config);
    std::vector<std::uint8_t> garbled(kVersionRequest.begin(), kVersionRequest.end() - 1);
    garbled.push_back(static_cast<std::uint8_t>(kVersionRequest.back() ^ 0xFF));
    feed(bench.meter, 0, garbled, kApplicationLine);
    EXPECT_EQ(bench.outputUntil(100000), std::vector<std::uint8_t>{0x15});
}

TEST(SimMeter, VersionReplyVariants) {
    struct Case {
        VersionReply kind;
        std::vector<std::uint8_t> expected;
    };
    std::vector<std::uint8_t> badChecksum = reply("PXR7 V1.02");
    badChecksum.back() = static_cast<std::uint8_t>(badChecksum.back() + 1);
    const Case cases[] = {
        {VersionReply::Nak, {0x15}},
        {VersionReply::Silent, {}},
        {VersionReply::BadChecksum, badChecksum},
        {VersionReply::Empty, {0x06, 0x02, 0x00, 0xFF}},
    };
    for (const Case& c : cases) {
        BridgeScenario config;
        config.versionReply = c.kind;
        MeterBench bench(config);
        feed(bench.meter, 0, kVersionRequest, kApplicationLine);
        EXPECT_EQ(bench.outputUntil(1000000), c.expected) << static_cast<int>(c.kind);
    }

    BridgeScenario config;
    config.versionReply = VersionReply::Oversize;
    MeterBench bench(config);
    feed(bench.meter, 0, kVersionRequest, kApplicationLine);
    const auto oversize = bench.outputUntil(1000000);
    ASSERT_EQ(oversize.size(), 104u);
    EXPECT_EQ(oversize[2], 100);
    EXPECT_EQ(std::string(oversize.begin() + 3, oversize.begin() + 14), "PXR7 V1.02 ");
    unsigned sum = 0;
    for (std::size_t i = 2; i < 103; ++i) {
        sum += oversize[i];
    }
    EXPECT_EQ(oversize[103], static_cast<std::uint8_t>(~sum)) << "a valid frame, only long";
}

TEST(SimMeter, SplitReplyComesInThreePiecesAGapApart) {
    BridgeScenario config;
    config.versionReply = VersionReply::Split;
    config.splitGapMs = 250;
    MeterBench bench(config);
    const Micros last = feed(bench.meter, 0, kVersionRequest, kApplicationLine);
    const Micros start = last + 2000;
    std::vector<std::uint8_t> all;
    std::vector<std::size_t> pieces;
    for (int piece = 0; piece < 3; ++piece) {
        const auto bytes = bench.outputUntil(start + piece * 250000 + 200000);
        pieces.push_back(bytes.size());
        all.insert(all.end(), bytes.begin(), bytes.end());
    }
    EXPECT_EQ(all, reply("PXR7 V1.02"));
    EXPECT_EQ(pieces[0], 2u);
    EXPECT_GT(pieces[1], 0u);
    EXPECT_GT(pieces[2], 0u);
}

TEST(SimMeter, BootLoaderHandshakeAndRecords) {
    const std::string capture = ::testing::TempDir() + "sim_model_capture.bin";
    std::remove(capture.c_str());
    BridgeScenario config;
    config.expectedRecords = 2;
    config.capturePath = capture;
    config.bootDelayMs = 30;
    config.flashDelayMs = 4;
    MeterBench bench(config);
    bench.meter.setDtr(1000, true);
    bench.meter.setDtr(2000, false);
    EXPECT_TRUE(bench.meter.inBootLoader());
    // "}" leaves 30 ms after the pulse and is on the wire 10 us later.
    EXPECT_TRUE(bench.outputUntil(32009).empty());
    EXPECT_EQ(bench.outputUntil(32010), std::vector<std::uint8_t>{'}'});
    // "{" is answered with "!" a millisecond later.
    const Micros brace = feed(bench.meter, 40000, {'{'}, kBootLine);
    EXPECT_EQ(bench.outputUntil(brace + 1010), std::vector<std::uint8_t>{'!'});
    // A record: "!" once it is fully in plus the flash delay.
    const Micros end0 = feed(bench.meter, 50000, wireRecord(1), kBootLine);
    EXPECT_EQ(end0, 50000 + 5160);
    EXPECT_TRUE(bench.outputUntil(end0 + 4000).empty());
    EXPECT_EQ(bench.outputUntil(end0 + 4010), std::vector<std::uint8_t>{'!'});
    feed(bench.meter, 70000, wireRecord(2), kBootLine);
    EXPECT_EQ(bench.outputUntil(100000), std::vector<std::uint8_t>{'!'});
    EXPECT_EQ(bench.meter.recordsStored(), 2);

    std::FILE* file = std::fopen(capture.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::vector<std::uint8_t> stored(2000);
    stored.resize(std::fread(stored.data(), 1, stored.size(), file));
    std::fclose(file);
    std::vector<std::uint8_t> expected = wireRecord(1);
    expected.pop_back();
    std::vector<std::uint8_t> second = wireRecord(2);
    expected.insert(expected.end(), second.begin(), second.end() - 1);
    EXPECT_EQ(stored, expected);

    // The final pulse starts the new firmware.
    bench.meter.setDtr(200000, true);
    bench.meter.setDtr(200001, false);
    EXPECT_FALSE(bench.meter.inBootLoader());
    EXPECT_EQ(bench.meter.version(), "PXR7 V1.03");
    EXPECT_TRUE(bench.meter.takeVersionChanged());
    EXPECT_FALSE(bench.meter.takeVersionChanged());
    std::remove(capture.c_str());
}

TEST(SimMeter, BootLoaderIgnoresTheAnswerBeforeItsHandshakeAndGoesSilentOnABadRecord) {
    BridgeScenario config;
    MeterBench bench(config);
    bench.meter.setDtr(0, true);
    bench.meter.setDtr(1000, false);
    feed(bench.meter, 5000, {'{'}, kBootLine); // before the "}" at 31 ms
    EXPECT_EQ(bench.outputUntil(60000), std::vector<std::uint8_t>{'}'});
    feed(bench.meter, 60000, {'{'}, kBootLine);
    EXPECT_EQ(bench.outputUntil(70000), std::vector<std::uint8_t>{'!'});
    std::vector<std::uint8_t> bad = wireRecord(3);
    bad.back() = static_cast<std::uint8_t>(bad.back() + 1);
    feed(bench.meter, 80000, bad, kBootLine);
    feed(bench.meter, 90000, wireRecord(4), kBootLine);
    EXPECT_TRUE(bench.outputUntil(1000000).empty());
    EXPECT_EQ(bench.meter.recordsStored(), 0);
    // An incomplete image does not start; the next release re-enters the boot loader.
    bench.meter.setDtr(1000000, true);
    bench.meter.setDtr(1000001, false);
    EXPECT_TRUE(bench.meter.inBootLoader());
    EXPECT_EQ(bench.outputUntil(2000000), std::vector<std::uint8_t>{'}'});
}

TEST(SimMeter, AssertingDtrSwallowsWhatTheMeterWasAboutToSay) {
    BridgeScenario config;
    MeterBench bench(config);
    const Micros last = feed(bench.meter, 0, kVersionRequest, kApplicationLine);
    bench.meter.setDtr(last + 100, true);
    EXPECT_TRUE(bench.outputUntil(1000000).empty());
}

TEST(SimScenario, EmptyScenarioIsOneRightBridgeWithTheDefaults) {
    const Scenario s = parseScenario("", "");
    ASSERT_EQ(s.bridges.size(), 1u);
    EXPECT_TRUE(s.problems.empty());
    EXPECT_EQ(s.latencyMs, 16);
    EXPECT_EQ(s.reenumerateMs, 300);
    EXPECT_TRUE(s.stateFile.empty());
    const BridgeScenario& b = s.bridges[0];
    EXPECT_FALSE(b.factoryEeprom);
    EXPECT_EQ(b.open, OpenMode::Ok);
    EXPECT_EQ(b.version, "PXR7 V1.02");
    EXPECT_EQ(b.versionAfterUpgrade, "PXR7 V1.03");
    EXPECT_EQ(b.versionReply, VersionReply::Normal);
    EXPECT_EQ(b.expectedRecords, 314);
    EXPECT_EQ(b.bootDelayMs, 30);
    EXPECT_EQ(b.flashDelayMs, 4);
    EXPECT_EQ(b.handshake, Handshake::Normal);
    EXPECT_EQ(b.stopAfterRecord, -1);
    EXPECT_EQ(b.readsFailFromRecord, -1);
    EXPECT_EQ(b.corruptRecord, -1);
}

TEST(SimScenario, EveryKeyIsRead) {
    const Scenario s = parseScenario("# a rig\n"
                                     "state_file = state.txt\n"
                                     "latency_ms = 0\n"
                                     "reenumerate_ms = 50\n"
                                     "locations = none\n"
                                     "units_log = units.txt\n"
                                     "[bridge 1]\n"
                                     "eeprom = factory\n"
                                     "open = fail\n"
                                     "eeprom_read = fail\n"
                                     "eeprom_program = fail\n"
                                     "version = \" PXR7 V9 \"\n"
                                     "version_after_upgrade = PXR7 V10\n"
                                     "version_reply = split\n"
                                     "split_gap_ms = 90\n"
                                     "capture = /abs/capture.bin\n"
                                     "expected_records = 3\n"
                                     "boot_delay_ms = 7\n"
                                     "flash_delay_ms = 8\n"
                                     "handshake = late:120\n"
                                     "stop_after_record = 4\n"
                                     "reads_fail_from_record = 5\n"
                                     "corrupt_record = 6\n"
                                     "description = Some Bridge\n"
                                     "serial = X1\n"
                                     "eeprom.Cbus0 = 0x0A\n"
                                     "appear_ms = 2500\n"
                                     "leave_ms = 9000\n"
                                     "meter_windows = 0-1000, 2500-4000\n"
                                     "stop_once_after_record = 7\n"
                                     "version_per_unit = yes\n"
                                     "upgraded_windows = 1, 3\n"
                                     "busy_ms = 200-300,300-450\n"
                                     "start_delay_ms = 1500\n",
                                     "/rig");
    EXPECT_TRUE(s.problems.empty()) << s.problems.front();
    EXPECT_EQ(s.stateFile, "/rig/state.txt");
    EXPECT_EQ(s.latencyMs, 0);
    EXPECT_EQ(s.reenumerateMs, 50);
    EXPECT_FALSE(s.locationsKnown);
    EXPECT_EQ(s.unitsLog, "/rig/units.txt");
    ASSERT_EQ(s.bridges.size(), 2u);
    const BridgeScenario& b = s.bridges[1];
    EXPECT_TRUE(b.factoryEeprom && b.eepromReadFails && b.eepromProgramFails);
    EXPECT_EQ(b.open, OpenMode::Fail);
    EXPECT_EQ(b.version, " PXR7 V9 ");
    EXPECT_EQ(b.versionAfterUpgrade, "PXR7 V10");
    EXPECT_EQ(b.versionReply, VersionReply::Split);
    EXPECT_EQ(b.splitGapMs, 90);
    EXPECT_EQ(b.capturePath, "/abs/capture.bin");
    EXPECT_EQ(b.expectedRecords, 3);
    EXPECT_EQ(b.bootDelayMs, 7);
    EXPECT_EQ(b.flashDelayMs, 8);
    EXPECT_EQ(b.handshake, Handshake::Late);
    EXPECT_EQ(b.handshakeLateMs, 120);
    EXPECT_EQ(b.stopAfterRecord, 4);
    EXPECT_EQ(b.readsFailFromRecord, 5);
    EXPECT_EQ(b.corruptRecord, 6);
    EXPECT_EQ(b.description, "Some Bridge");
    EXPECT_EQ(b.serialNumber, "X1");
    ASSERT_EQ(b.eepromFields.size(), 1u);
    EXPECT_EQ(b.eepromFields[0].second, 10);
    EXPECT_EQ(b.appearMs, 2500);
    EXPECT_EQ(b.leaveMs, 9000);
    EXPECT_EQ(b.meterWindows, (std::vector<std::pair<long, long>>{{0, 1000}, {2500, 4000}}));
    EXPECT_EQ(b.stopOnceAfterRecord, 7);
    EXPECT_TRUE(b.versionPerUnit);
    EXPECT_EQ(b.upgradedWindows, (std::vector<long>{1, 3}));
    EXPECT_EQ(b.busyWindows, (std::vector<std::pair<long, long>>{{200, 300}, {300, 450}}));
    EXPECT_EQ(b.startDelayMs, 1500);
    EXPECT_EQ(s.bridges[0].version, "PXR7 V1.02") << "bridge 0 keeps the defaults";
}

TEST(SimScenario, BridgeCountAndProblems) {
    EXPECT_EQ(parseScenario("[bridge 2]\n", "").bridges.size(), 3u);
    EXPECT_EQ(parseScenario("bridges = 4\n[bridge 0]\n", "").bridges.size(), 4u);
    const Scenario s = parseScenario("latency_ms = soon\n"
                                     "colour = blue\n"
                                     "[bridge 0]\n"
                                     "version_reply = maybe\n"
                                     "handshake = late:\n"
                                     "open = null\n"
                                     "device_type = 256\n"
                                     "vid = 0x10000\n"
                                     "eeprom.Cbus4 = 256\n"
                                     "unterminated = Manufacturer,\n"
                                     "write_fault = fail:record:\n"
                                     "write_fault = slow:handshake\n"
                                     "meter_windows = 100-50\n"
                                     "meter_windows = 0-100,50-200\n"
                                     "meter_windows = 0-100,\n"
                                     "version = PXR7 V7\n"
                                     "[meter 0]\n"
                                     "version = ignored\n",
                                     "");
    EXPECT_EQ(s.problems.size(), 15u);
    EXPECT_EQ(s.latencyMs, 16);
    ASSERT_EQ(s.bridges.size(), 1u);
    const BridgeScenario& b = s.bridges[0];
    EXPECT_EQ(b.version, "PXR7 V7");
    EXPECT_TRUE(b.open == OpenMode::Ok && b.deviceType == 5 && b.eepromFields.empty() &&
                !b.unterminated.manufacturer && b.writeFault.effect == WriteFaultEffect::None &&
                b.meterWindows.empty());
}

TEST(SimKnobs, OpenWithANullHandleSucceedsAndEveryCallOnTheHandleIsRefused) {
    CallBench bench("[bridge 0]\nopen = null_handle\n");
    FT_HANDLE handle = &bench; // anything but null
    ASSERT_EQ(FT_Open(0, &handle), FT_OK);
    EXPECT_EQ(handle, nullptr);
    std::uint8_t brace = '{';
    std::uint32_t written = 0;
    EXPECT_EQ(FT_Write(handle, &brace, 1, &written), FT_INVALID_HANDLE);
    EXPECT_EQ(bench.trace(), (std::vector<std::string>{"FT_Open index=0 status=0",
                                                       "FT_Write bridge=? length=1 status=1"}));
}

TEST(SimKnobs, DeviceInfoReportsTheTypeAndTheIdSerialAndDescriptionOfTheLastEnumeration) {
    CallBench bench("reenumerate_ms = 0\n[bridge 0]\ndevice_type = 8\nvid = 0x1234\npid = 0x5678\n"
                    "serial = " +
                    std::string(20, 'S') + "\ndescription = " + std::string(70, 'D'));
    FT_HANDLE handle = bench.open();
    FT_PROGRAM_DATA record = blankRecord();
    ASSERT_EQ(FT_EE_Read(handle, &record), FT_OK);
    record.VendorId = 0xABCD;
    ASSERT_EQ(FT_EE_Program(handle, &record), FT_OK);
    for (const std::uint32_t enumeratedId : {0x12345678u, 0xABCD5678u}) {
        // Room past FTDI's 16 and 64 bytes to see an overrun.
        char serial[24];
        char description[72];
        std::memset(serial, 'Z', sizeof serial);
        std::memset(description, 'Z', sizeof description);
        FT_DEVICE type = 0;
        std::uint32_t id = 0;
        ASSERT_EQ(FT_GetDeviceInfo(handle, &type, &id, serial, description, nullptr), FT_OK);
        EXPECT_EQ(type, 8u);
        EXPECT_EQ(id, enumeratedId) << "programmed, but only enumerated after a cycle";
        EXPECT_EQ(std::string(serial, 24), std::string(15, 'S') + '\0' + std::string(8, 'Z'));
        EXPECT_EQ(std::string(description, 72), std::string(63, 'D') + '\0' + std::string(8, 'Z'));
        ASSERT_EQ(FT_CyclePort(handle), FT_OK);
        ASSERT_EQ(FT_Close(handle), FT_OK);
        handle = bench.open();
    }
}

TEST(SimKnobs, UnterminatedStringsFillTheirWholeBufferAndNoMore) {
    CallBench bench("[bridge 0]\nunterminated = Manufacturer, SerialNumber,Description\n");
    const FT_HANDLE handle = bench.open();
    char buffers[4][72]; // FTDI's sizes and guard bytes behind
    std::memset(buffers, 1, sizeof buffers);
    FT_PROGRAM_DATA record = blankRecord();
    record.Manufacturer = buffers[0];
    record.ManufacturerId = buffers[1];
    record.SerialNumber = buffers[2];
    record.Description = buffers[3];
    ASSERT_EQ(FT_EE_Read(handle, &record), FT_OK);
    const std::string expected[] = {"FTDI" + std::string(28, '#'), std::string("FT\0", 3),
                                    "PX7A0000" + std::string(8, '#'),
                                    "Tavelin QVRX" + std::string(52, '#')};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(std::string(buffers[i], sizeof buffers[i]),
                  expected[i] + std::string(sizeof buffers[i] - expected[i].size(), 1));
    }
}

TEST(SimKnobs, FailedEepromProgramLeavesTheEepromAndTheStateFileAlone) {
    const std::string stateFile = testFile("state.txt");
    std::remove(stateFile.c_str()); // left by an earlier run that failed
    CallBench bench("state_file = " + stateFile + "\n[bridge 0]\neeprom_program = fail\n");
    const FT_HANDLE handle = bench.open();
    FT_PROGRAM_DATA record = blankRecord();
    ASSERT_EQ(FT_EE_Read(handle, &record), FT_OK);
    record.PnP = 1;
    EXPECT_EQ(FT_EE_Program(handle, &record), FT_EEPROM_WRITE_FAILED);
    EXPECT_EQ(bench.trace().back(), "FT_EE_Program bridge=0 status=12");
    ASSERT_EQ(FT_EE_Read(handle, &record), FT_OK);
    EXPECT_EQ(record.PnP, 0);
    EXPECT_FALSE(std::ifstream(stateFile).good());
}

// A transfer on explicit time stamps: a reset pulse at t, then "{" and three records, each
// write followed by one for the bytes it did not take, as a host that retries would.
std::vector<WriteOutcome> transferRetrying(Bridge& bridge, Micros t) {
    bridge.setDtr(t, true);
    bridge.setDtr(t + 1000, false);
    std::vector<WriteOutcome> outcomes;
    Micros at = t + 40000; // after the "}"
    for (const auto& w :
         {std::vector<std::uint8_t>{'{'}, wireRecord(1), wireRecord(2), wireRecord(3)}) {
        const auto size = static_cast<std::uint32_t>(w.size());
        outcomes.push_back(bridge.write(at, w.data(), size));
        bridge.write(at, w.data() + outcomes.back().accepted, size - outcomes.back().accepted);
        at += 20000;
    }
    bridge.advance(at + 20000);
    return outcomes;
}

TEST(SimKnobs, WriteFaultStrikesTheChosenWriteOnceAndOnlyTakenBytesGoOut) {
    struct Case {
        const char* value;
        std::size_t write; // 0: "{", 1 + K: record K
        WriteOutcome outcome;
    };
    const Case cases[] = {{"fail:handshake", 0, {true, 0}},
                          {"short:handshake", 0, {false, 0}},
                          {"fail:record:1", 2, {true, 0}},
                          {"short:record:1", 2, {false, 258}}};
    for (const Case& c : cases) {
        const Scenario s = parseScenario(std::string("[bridge 0]\nwrite_fault = ") + c.value, "");
        Bridge bridge(s.bridges[0], rightEeprom("X"), "PXR7 V1.02", 0);
        bridge.open(0);
        bridge.line = kBootLine;
        // The second transfer is not struck again.
        for (const Micros t : {Micros{0}, Micros{500000}}) {
            const auto outcomes = transferRetrying(bridge, t);
            for (std::size_t i = 0; i < outcomes.size(); ++i) {
                const WriteOutcome whole{false, i == 0 ? 1u : 516u};
                const WriteOutcome expected = t == 0 && i == c.write ? c.outcome : whole;
                EXPECT_EQ(outcomes[i].fails, expected.fails) << c.value << " t=" << t << " " << i;
                EXPECT_EQ(outcomes[i].accepted, expected.accepted) << c.value << " " << i;
            }
            EXPECT_EQ(bridge.meter()->recordsStored(), 3) << c.value << ": every byte once";
        }
    }
}

TEST(SimKnobs, WriteFaultShowsInTheStatusTheCountAndTheTrace) {
    CallBench bench("[bridge 0]\nwrite_fault = fail:handshake\n");
    const FT_HANDLE handle = bench.open();
    std::uint8_t brace = '{';
    std::uint32_t written = 99;
    ASSERT_EQ(FT_SetDtr(handle), FT_OK);
    ASSERT_EQ(FT_ClrDtr(handle), FT_OK);
    EXPECT_EQ(FT_Write(handle, &brace, 1, &written), FT_IO_ERROR);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(bench.trace().back(), "FT_Write bridge=0 length=1 written=0 status=4");
}

// One host thread's transfer, as the product will run it: its own handle, polling every 10 ms
// with reads of 1 ms. Counts its calls on the handle, to check the trace against.
struct HostThread {
    int index;
    std::vector<std::vector<std::uint8_t>> writes; // "{" and the records, each answered by "!"
    FT_HANDLE handle = nullptr;
    long calls = 0;

    bool ok(FT_STATUS status) {
        ++calls;
        return status == FT_OK;
    }
    bool await(std::uint8_t wanted) {
        std::uint8_t byte = 0;
        std::uint32_t got = 0;
        for (int poll = 0; poll < 500 && ok(FT_Read(handle, &byte, 1, &got)); ++poll) {
            if (got == 1) {
                return byte == wanted;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    bool transfer() {
        bool fine = FT_Open(index, &handle) == FT_OK && ok(FT_SetBaudRate(handle, 1000000)) &&
                    ok(FT_SetTimeouts(handle, 1, 1000)) && ok(FT_SetDtr(handle)) &&
                    ok(FT_ClrDtr(handle)) && await('}');
        for (auto& w : writes) {
            std::uint32_t n = 0;
            fine = fine &&
                   ok(FT_Write(handle, w.data(), static_cast<std::uint32_t>(w.size()), &n)) &&
                   await('!');
        }
        return ok(FT_Close(handle)) && fine;
    }
};

TEST(SimConcurrency, TwoThreadsTransferToTheirOwnMetersWhileAReadWaitsOnAThird) {
    const std::string capture[2] = {testFile("capture0.bin"), testFile("capture1.bin")};
    CallBench bench("[bridge 0]\nexpected_records = 2\ncapture = " + capture[0] +
                    "\n[bridge 1]\nexpected_records = 2\ncapture = " + capture[1] +
                    "\n[bridge 2]\n");
    // Were a waiting read to hold up other calls, it would run into its time-out before the
    // transfers end; it must still be waiting when they do, and end as its handle is closed.
    const FT_HANDLE silent = bench.open(2);
    ASSERT_EQ(FT_SetTimeouts(silent, 15000, 1000), FT_OK);
    std::atomic<bool> reading{false};
    FT_STATUS waited = FT_OK;
    std::thread reader([&] {
        std::uint8_t byte = 0;
        std::uint32_t got = 0;
        reading = true;
        waited = FT_Read(silent, &byte, 1, &got);
    });
    while (!reading) {
        std::this_thread::yield();
    }
    HostThread hosts[2] = {{0, {{'{'}, wireRecord(1), wireRecord(2)}},
                           {1, {{'{'}, wireRecord(101), wireRecord(102)}}};
    std::thread other([&] { EXPECT_TRUE(hosts[1].transfer()); });
    EXPECT_TRUE(hosts[0].transfer());
    other.join();
    EXPECT_EQ(FT_Close(silent), FT_OK);
    reader.join();
    EXPECT_EQ(waited, FT_IO_ERROR);

    const auto trace = bench.trace();
    for (int i = 0; i < 2; ++i) {
        std::string image;
        for (std::size_t w = 1; w < hosts[i].writes.size(); ++w) {
            image.append(hosts[i].writes[w].begin(), hosts[i].writes[w].end() - 1);
        }
        EXPECT_EQ(readFile(capture[i]), image) << "bridge " << i;
        std::remove(capture[i].c_str());
        const std::string key = " bridge=" + std::to_string(i) + " ";
        EXPECT_EQ(std::count_if(
                      trace.begin(), trace.end(),
                      [&](const std::string& line) { return line.find(key) != std::string::npos; }),
                  hosts[i].calls);
    }
    const std::regex wholeLine("FT_\\w+( \\w+=[^ ]+)* status=\\d+");
    for (const std::string& line : trace) {
        EXPECT_TRUE(std::regex_match(line, wholeLine)) << line;
    }
}

TEST(SimEeprom, PresetsDifferExactlyWhereTheHostCorrects) {
    const EepromImage right = rightEeprom("PX7A0000");
    const EepromImage factory = factoryEeprom("PX7A0000");
    EXPECT_EQ(right.numbers.PnP, 0);
    EXPECT_EQ(right.numbers.InvertDTR, 1);
    EXPECT_EQ(right.numbers.Cbus4, 5);
    EXPECT_EQ(right.description, "Tavelin QVRX");
    EXPECT_EQ(factory.numbers.PnP, 1);
    EXPECT_EQ(factory.numbers.InvertDTR, 0);
    EXPECT_NE(factory.numbers.Cbus4, 5);
    EXPECT_EQ(factory.description, "FT232R USB UART");
    for (const EepromImage* image : {&right, &factory}) {
        EXPECT_EQ(image->numbers.VendorId, 0x0403);
        EXPECT_EQ(image->numbers.ProductId, 0x6001);
        EXPECT_EQ(image->numbers.MaxPower, 90);
        EXPECT_EQ(image->manufacturer, "FTDI");
        EXPECT_EQ(image->manufacturerId, "FT");
    }
}

TEST(SimStateFile, RoundTripKeepsEveryFieldAndTheVersion) {
    const std::string path = ::testing::TempDir() + "sim_model_state.txt";
    std::vector<BridgeState> saved = {{factoryEeprom("PX7A0000"), "PXR7 V1.02"},
                                      {rightEeprom("PX7A0001"), "PXR7 \"odd\" V2\\"}};
    saved[1].eeprom.description = " padded ";
    saved[1].eeprom.numbers.Cbus2 = 0x0C;
    ASSERT_TRUE(saveRigState(path, saved));
    std::vector<BridgeState> loaded = {{rightEeprom("A"), "x"}, {factoryEeprom("B"), "y"}};
    ASSERT_TRUE(loadRigState(path, loaded));
    for (std::size_t i = 0; i < saved.size(); ++i) {
        EXPECT_EQ(loaded[i].version, saved[i].version);
        EXPECT_EQ(eepromToText(loaded[i].eeprom), eepromToText(saved[i].eeprom));
    }
    std::remove(path.c_str());
    EXPECT_FALSE(loadRigState(path, loaded));
}

namespace {

// What the lead brings back for a version request written at t, read 50 ms later.
std::vector<std::uint8_t> versionAnswer(Bridge& bridge, Micros t) {
    bridge.purge(t, FT_PURGE_RX);
    bridge.line = kApplicationLine;
    bridge.write(t, kVersionRequest.data(), static_cast<std::uint32_t>(kVersionRequest.size()));
    bridge.advance(t + 50000);
    std::vector<std::uint8_t> bytes(bridge.available());
    bridge.take(bytes.data(), bytes.size());
    return bytes;
}

// A whole transfer of three records from t on, then the pulse that starts the new firmware.
void upgradeAt(Bridge& bridge, Micros t) {
    bridge.line = kBootLine;
    transferRetrying(bridge, t);
    bridge.setDtr(t + 150000, true);
    bridge.setDtr(t + 151000, false);
}

} // namespace

TEST(SimBench, EachMeterWindowIsANewUnitOnTheOldVersionAndNothingAnswersBetween) {
    const std::string capture = testFile("capture.bin");
    std::remove(capture.c_str());
    std::remove((capture + ".1").c_str());
    const Scenario s = parseScenario("[bridge 0]\nexpected_records = 3\ncapture = " + capture +
                                         "\nmeter_windows = 100-400,500-800\n",
                                     "");
    ASSERT_TRUE(s.problems.empty()) << s.problems.front();
    Bridge bridge(s.bridges[0], rightEeprom("X"), "PXR7 V1.01 from the state file", 0, 1000000);
    bridge.open(1000000);
    EXPECT_TRUE(versionAnswer(bridge, 1000000).empty()) << "before the first window";
    EXPECT_EQ(versionAnswer(bridge, 1100000), reply("PXR7 V1.02"));
    upgradeAt(bridge, 1110000);
    EXPECT_EQ(versionAnswer(bridge, 1270000), reply("PXR7 V1.03"));
    EXPECT_TRUE(versionAnswer(bridge, 1400000).empty()) << "the window ends at 400 ms";
    EXPECT_EQ(bridge.meter(), nullptr);
    EXPECT_EQ(bridge.meterVersion(), "PXR7 V1.03");
    EXPECT_EQ(versionAnswer(bridge, 1500000), reply("PXR7 V1.02")) << "a new unit";
    EXPECT_EQ(readFile(capture).size(), 3u * 515) << "the first unit's capture";
    EXPECT_FALSE(std::ifstream(capture + ".1").good());
    upgradeAt(bridge, 1560000);
    EXPECT_EQ(readFile(capture + ".1").size(), 3u * 515) << "the second unit's own capture";
    EXPECT_TRUE(versionAnswer(bridge, 1800000).empty());
    std::remove(capture.c_str());
    std::remove((capture + ".1").c_str());
}

TEST(SimBench, StopOnceStopsTheFirstTransferOnlyEvenAcrossUnits) {
    for (const char* windows : {"", "meter_windows = 0-10000\n"}) {
        const Scenario s = parseScenario(
            std::string("[bridge 0]\nexpected_records = 3\nstop_once_after_record = 1\n") + windows,
            "");
        Bridge bridge(s.bridges[0], rightEeprom("X"), "PXR7 V1.02", 0);
        bridge.open(0);
        bridge.line = kBootLine;
        transferRetrying(bridge, 0);
        ASSERT_NE(bridge.meter(), nullptr);
        EXPECT_EQ(bridge.meter()->recordsStored(), 2) << windows << "record 1 is the last";
        transferRetrying(bridge, 500000);
        EXPECT_EQ(bridge.meter()->recordsStored(), 3) << windows << "the retry goes through";
    }
}

TEST(SimBench, BridgesAppearAndLeaveOnTheBusClock) {
    // A second of bus time before the change: a loaded machine still opens the leaving bridge
    // before it goes.
    CallBench bench("[bridge 0]\nappear_ms = 1000\n[bridge 1]\nleave_ms = 1000\n[bridge 2]\n");
    const auto start = std::chrono::steady_clock::now();
    std::uint32_t count = 0;
    ASSERT_EQ(FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    EXPECT_EQ(count, 2u);
    const FT_HANDLE leaving = bench.open(0);
    ASSERT_NE(leaving, nullptr);
    EXPECT_EQ(bench.trace().back(), "FT_Open index=0 status=0");
    ASSERT_EQ(FT_SetTimeouts(leaving, 5000, 1000), FT_OK);
    EXPECT_EQ(bench.trace().back(), "FT_SetTimeouts bridge=1 read=5000 write=1000 status=0");
    // A read waiting on the bridge fails as it leaves.
    std::uint8_t byte = 0;
    std::uint32_t got = 9;
    EXPECT_EQ(FT_Read(leaving, &byte, 1, &got), FT_IO_ERROR);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3000));
    EXPECT_EQ(FT_SetDtr(leaving), FT_IO_ERROR);
    EXPECT_EQ(FT_Close(leaving), FT_OK);
    ASSERT_EQ(FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    EXPECT_EQ(count, 2u);
    for (const int index : {0, 1}) {
        const FT_HANDLE handle = bench.open(index);
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(FT_SetDtr(handle), FT_OK);
        EXPECT_EQ(bench.trace().back(),
                  "FT_SetDtr bridge=" + std::to_string(index * 2) + " status=0");
        EXPECT_EQ(FT_Close(handle), FT_OK);
    }
}

// Every unit's events, in order, as the truth log gives them; at_ms kept only for clipping on
// and taking off, where the scenario fixes it.
TEST(SimBench, TheTruthLogSaysWhatEachUnitDid) {
    const std::string path = testFile("units.txt");
    std::remove(path.c_str());
    const Scenario s = parseScenario("[bridge 4]\nexpected_records = 3\nstart_delay_ms = 20\n"
                                     "meter_windows = 100-400,500-800\nupgraded_windows = 1\n"
                                     "version_per_unit = yes\n",
                                     "");
    ASSERT_TRUE(s.problems.empty()) << s.problems.front();
    {
        UnitLog log;
        log.open(path, 1000000);
        Bridge bridge(s.bridges[4], rightEeprom("X"), "PXR7 V1.02", 0, 1000000, &log, 4);
        bridge.open(1000000);
        EXPECT_EQ(versionAnswer(bridge, 1100000), reply("PXR7 V1.02 u0"));
        upgradeAt(bridge, 1110000);
        EXPECT_TRUE(versionAnswer(bridge, 1262000).empty()) << "the new firmware still starts";
        EXPECT_EQ(versionAnswer(bridge, 1290000), reply("PXR7 V1.03"));
        EXPECT_EQ(versionAnswer(bridge, 1600000), reply("PXR7 V1.03")) << "came upgraded";
    }
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        const bool timed = std::regex_search(line, std::regex(" (at|de)tached "));
        lines.push_back(timed ? line : std::regex_replace(line, std::regex(" at_ms=[0-9]+$"), ""));
    }
    const std::vector<std::string> expected = {
        "bench steady_us=" + std::to_string(steadyClockMicros(1000000)),
        "unit=4.0 attached at_ms=100",
        "lead=4 asked",
        "unit=4.0 answered version=\"PXR7 V1.02 u0\" reply=normal",
        "lead=4 dtr=on",
        "unit=4.0 held",
        "lead=4 dtr=off",
        "unit=4.0 pulse",
        "unit=4.0 stored record=0",
        "unit=4.0 stored record=1",
        "unit=4.0 stored record=2",
        "lead=4 dtr=on",
        "unit=4.0 held",
        "lead=4 dtr=off",
        "unit=4.0 pulse",
        "unit=4.0 new_firmware version=\"PXR7 V1.03\"",
        "lead=4 asked", // while the new firmware still starts: no answer
        "lead=4 asked",
        "unit=4.0 answered version=\"PXR7 V1.03\" reply=normal",
        "unit=4.0 detached at_ms=400",
        "unit=4.1 attached at_ms=500",
        "lead=4 asked",
        "unit=4.1 answered version=\"PXR7 V1.03\" reply=normal",
    };
    EXPECT_EQ(lines, expected);
    std::remove(path.c_str());
}

// Another program holds bridge 0 now and bridge 1 only later; the driver tells no locations.
TEST(SimKnobs, BusyWindowsRefuseTheOpenAndNoLocationsRefuseTheList) {
    CallBench bench("locations = none\n[bridge 0]\nbusy_ms = 0-600000\n"
                    "[bridge 1]\nbusy_ms = 600000-600001\n");
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(FT_Open(0, &handle), FT_DEVICE_NOT_OPENED);
    handle = bench.open(1);
    EXPECT_EQ(FT_Close(handle), FT_OK);
    std::uint32_t count = 0, flags = 0, type = 0, id = 0, location = 0;
    char serial[16] = {}, description[64] = {};
    EXPECT_EQ(FT_CreateDeviceInfoList(&count), FT_NOT_SUPPORTED);
    EXPECT_EQ(
        FT_GetDeviceInfoDetail(0, &flags, &type, &id, &location, serial, description, &handle),
        FT_NOT_SUPPORTED);
    EXPECT_EQ(bench.trace().back(), "FT_GetDeviceInfoDetail index=0 status=17");
}
