// The command-line program end to end, through the real binding and the simulated meter.
#include "cli_rig.h"

#include <gtest/gtest.h>

#include <ostream>

#include <string>

using namespace simrig;

namespace {

const std::string kOneMeter = "state_file = state.txt\n"
                              "[bridge 0]\n"
                              "version = PXR7 V1.02\n"
                              "version_after_upgrade = PXR7 V1.03\n"
                              "capture = capture.bin\n";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Index of the first trace line at or after from that starts with prefix, or -1.
int findLine(const std::vector<std::string>& lines, const std::string& prefix, int from = 0) {
    for (int i = from; i < static_cast<int>(lines.size()); ++i) {
        if (lines[static_cast<std::size_t>(i)].rfind(prefix, 0) == 0) {
            return i;
        }
    }
    return -1;
}

TEST(CliUpgrade, AWholeUpgradeDeliversTheEmbeddedImageByteForByte) {
    CliRig rig(kOneMeter);
    const CliResult result = rig.run("upgrade --yes");
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_TRUE(contains(result.out, "PXR7 V1.02")) << result.out;
    EXPECT_TRUE(contains(result.out, "Upgrade complete")) << result.out;
    EXPECT_EQ(fileText(rig.path("capture.bin")), fileText(PXR7_FIRMWARE_IMAGE_PATH));

    // Exactly one "{" and 314 wire records went to the meter during the transfer.
    EXPECT_EQ(rig.countTrace("FT_Write bridge=0 length=516 "), 314);
    EXPECT_EQ(rig.countTrace("FT_Write bridge=0 length=1 written=1 data=7B"), 1);
    const std::vector<std::string> lines = rig.trace();
    // The transfer runs at one megabaud after a DTR pulse; it ends with a second pulse and close.
    const int baud = findLine(lines, "FT_SetBaudRate bridge=0 baud=1000000");
    ASSERT_GE(baud, 0);
    const int pulse = findLine(lines, "FT_SetDtr bridge=0", baud);
    ASSERT_GE(pulse, 0);
    EXPECT_EQ(findLine(lines, "FT_ClrDtr bridge=0", pulse), pulse + 1);
    EXPECT_EQ(findLine(lines, "FT_Purge bridge=0 mask=1", pulse), pulse + 2);
    EXPECT_EQ(findLine(lines, "FT_SetTimeouts bridge=0 read=1 write=1000", pulse), pulse + 3);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3].rfind("FT_SetDtr bridge=0", 0), 0u);
    EXPECT_EQ(lines[lines.size() - 2].rfind("FT_ClrDtr bridge=0", 0), 0u);
    EXPECT_EQ(lines[lines.size() - 1].rfind("FT_Close bridge=0", 0), 0u);

    // The meter restarted into its new firmware.
    const CliResult after = rig.run("list");
    EXPECT_EQ(after.exitCode, 0);
    EXPECT_EQ(after.out, "PXR7 V1.03\nNumber of devices: 1\n");
}

struct FaultCase {
    const char* name;
    const char* bridgeKeys;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const FaultCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

class CliFaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(CliFaultTest, EndsWithTheHandshakeMessageAndNoHang) {
    CliRig rig(std::string("[bridge 0]\ncapture = capture.bin\n") + GetParam().bridgeKeys + "\n");
    const CliResult result = rig.run("upgrade --yes");
    EXPECT_EQ(result.exitCode, 6) << result.out << result.err;
    EXPECT_TRUE(contains(result.err, "Error - Handshake not received")) << result.err;
    EXPECT_FALSE(contains(result.out, "Upgrade complete"));
    // Whatever the meter holds now, it never holds a whole image.
    EXPECT_NE(fileText(rig.path("capture.bin")), fileText(PXR7_FIRMWARE_IMAGE_PATH));
    // The port is closed at the end.
    EXPECT_EQ(rig.trace().back().rfind("FT_Close bridge=0", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CliFaultTest,
    ::testing::Values(FaultCase{"NoHandshake", "handshake = none"},
                      FaultCase{"LateHandshake", "handshake = late:400"},
                      FaultCase{"MeterStopsAnswering", "stop_after_record = 5"},
                      FaultCase{"LeadPulled", "reads_fail_from_record = 3"},
                      FaultCase{"RecordDamagedInTransit", "corrupt_record = 7"}),
    [](const ::testing::TestParamInfo<FaultCase>& caseInfo) { return caseInfo.param.name; });

TEST(CliUpgrade, WithoutABridgeThePortErrorIsReported) {
    CliRig rig("bridges = 0\n");
    const CliResult result = rig.run("upgrade --yes");
    EXPECT_EQ(result.exitCode, 4) << result.out << result.err;
    EXPECT_TRUE(contains(result.out, "No devices present"));
    EXPECT_TRUE(contains(result.err, "USB Port Error"));
}

TEST(CliUpgrade, AFactoryFreshLeadIsReprogrammedThenUpgradesOnTheNextRun) {
    CliRig rig("state_file = state.txt\nreenumerate_ms = 3000\n"
               "[bridge 0]\neeprom = factory\ncapture = capture.bin\n");
    // The warning's version query corrects the lead, which then drops off the bus while it
    // restarts: the upgrade does not start on shifted indices but asks for a reconnect.
    const CliResult first = rig.run("upgrade --yes");
    EXPECT_EQ(first.exitCode, 5) << first.out << first.err;
    EXPECT_TRUE(contains(first.out, "No devices present"));
    EXPECT_TRUE(contains(first.err, "No devices found"));
    EXPECT_TRUE(contains(first.err, "reconnect the USB lead"));
    EXPECT_EQ(rig.countTrace("FT_SetBaudRate bridge=0 baud=1000000"), 0);
    EXPECT_EQ(rig.countTrace("FT_EE_Program"), 1);
    EXPECT_EQ(rig.countTrace("FT_CyclePort"), 1);
    // Reconnected, the lead keeps its corrected settings and the upgrade goes through.
    rig.clearTrace();
    const CliResult second = rig.run("upgrade --yes");
    EXPECT_EQ(second.exitCode, 0) << second.out << second.err;
    EXPECT_EQ(rig.countTrace("FT_EE_Program"), 0);
    EXPECT_EQ(fileText(rig.path("capture.bin")), fileText(PXR7_FIRMWARE_IMAGE_PATH));
}

TEST(CliUpgrade, DecliningSendsNothingToTheMeter) {
    CliRig rig(kOneMeter);
    const CliResult result = rig.run("upgrade", "n\n");
    EXPECT_EQ(result.exitCode, 8);
    EXPECT_TRUE(contains(result.out, "Upgrade now? [y/N]"));
    EXPECT_EQ(rig.countTrace("FT_SetBaudRate bridge=0 baud=1000000"), 0);
    // No answer at all (end of input) declines too.
    EXPECT_EQ(rig.run("upgrade", "").exitCode, 8);
}

TEST(CliUpgrade, JsonEventsReportEveryRecordAndTheOutcome) {
    CliRig rig(kOneMeter);
    const CliResult result = rig.run("--json upgrade --yes");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(
        contains(result.out, "{\"event\":\"meter\",\"present\":true,\"version\":\"PXR7 V1.02\"}"));
    EXPECT_TRUE(contains(result.out,
                         "{\"schema\":1,\"event\":\"progress\",\"records\":314,\"total\":314}"));
    EXPECT_TRUE(
        contains(result.out,
                 "{\"event\":\"message\",\"kind\":\"information\",\"text\":\"Upgrade complete\"}"));
}

TEST(CliList, ListsEveryAnsweringMeterAndTheCount) {
    CliRig rig("[bridge 0]\nversion = PXR7 V1.01\n[bridge 1]\nversion_reply = nak\n"
               "[bridge 2]\nversion = PXR7 \"V1.02\"\n");
    const CliResult text = rig.run("list");
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_EQ(text.out, "PXR7 V1.01\nPXR7 \"V1.02\"\nNumber of devices: 2\n");
    const CliResult json = rig.run("--json list");
    EXPECT_EQ(json.out, "{\"count\":2,\"meters\":[\"PXR7 V1.01\",\"PXR7 \\\"V1.02\\\"\"]}\n");
}

TEST(CliCommon, MissingDriverUsageAndAbout) {
    CliRig rig(kOneMeter);
    const CliResult noDriver = rig.run("list --driver /nonexistent/libftd2xx.so");
    EXPECT_EQ(noDriver.exitCode, 3);
    EXPECT_TRUE(contains(noDriver.err, "Warning, can't load USB driver (ftd2xx.dll)"));
    EXPECT_EQ(rig.run("frobnicate").exitCode, 2);
    EXPECT_EQ(rig.run("list --driver").exitCode, 2);
    const CliResult about = rig.run("about");
    EXPECT_EQ(about.exitCode, 0);
    // This build carries the stand-in image, and says so.
    EXPECT_EQ(about.out, "PX-R7 Meter V1.03\nFirmware image: a stand-in for testing, not meter "
                         "firmware. A vendor build embeds the real image with "
                         "-DPXR7_FIRMWARE_IMAGE=PATH.\n");
}

} // namespace
