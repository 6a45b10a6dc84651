// The command-line program end to end, through the real binding and the simulated meter.
#include "cli_rig.h"
#include "json_check.h"
#include "record_chain.h"

#include <gtest/gtest.h>

#include <ostream>
#include <sstream>

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
    int lastRecord = -1;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        lastRecord =
            lines[static_cast<std::size_t>(i)].rfind("FT_Write bridge=0 length=516", 0) == 0
                ? i
                : lastRecord;
    }
    const int closing = findLine(lines, "FT_SetDtr bridge=0", lastRecord);
    ASSERT_GE(closing, 0);
    EXPECT_EQ(findLine(lines, "FT_ClrDtr bridge=0", closing), closing + 1);
    EXPECT_EQ(findLine(lines, "FT_Close bridge=0", closing), closing + 2);

    // The meter restarted into its new firmware, and the program asked it.
    EXPECT_TRUE(contains(result.out, "PXR7 V1.02 -> PXR7 V1.03")) << result.out;
    const CliResult after = rig.run("list");
    EXPECT_EQ(after.exitCode, 0);
    EXPECT_TRUE(
        contains(after.out, "meter answered: PXR7 V1.03\nMeters that answered: 1 of 1 bridges\n"))
        << after.out;
}

struct FaultCase {
    const char* name;
    const char* bridgeKeys;
    int exitCode;
    const char* diagnosis;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const FaultCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

class CliFaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(CliFaultTest, EndsWithWhatHappenedAndNoHang) {
    CliRig rig(std::string("[bridge 0]\ncapture = capture.bin\n") + GetParam().bridgeKeys + "\n");
    const CliResult result = rig.run("upgrade --yes");
    EXPECT_EQ(result.exitCode, GetParam().exitCode) << result.out << result.err;
    // The handshake message only where the meter never answered the reset.
    EXPECT_EQ(contains(result.err, "Error - Handshake not received"), GetParam().exitCode == 6)
        << result.err;
    EXPECT_TRUE(contains(result.err, GetParam().diagnosis)) << result.err;
    EXPECT_FALSE(contains(result.out, "Upgrade complete"));
    // Whatever the meter holds now, it never holds a whole image.
    EXPECT_NE(fileText(rig.path("capture.bin")), fileText(PXR7_FIRMWARE_IMAGE_PATH));
    // The port is closed at the end.
    EXPECT_EQ(rig.trace().back().rfind("FT_Close bridge=0", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CliFaultTest,
    ::testing::Values(
        FaultCase{"NoHandshake", "handshake = none", 6, "did not answer the reset pulse"},
        FaultCase{"LateHandshake", "handshake = late:400", 6, "did not answer the reset pulse"},
        FaultCase{"MeterStopsAnswering", "stop_after_record = 5", 12,
                  "stopped asking for records after 6 of 314 records"},
        FaultCase{"LeadPulled", "reads_fail_from_record = 3", 12,
                  "stopped answering reads (I/O error: was the lead pulled?) after 4 of 314"},
        FaultCase{"RecordDamagedInTransit", "corrupt_record = 7", 12,
                  "stopped asking for records after 8 of 314 records"}),
    [](const ::testing::TestParamInfo<FaultCase>& caseInfo) { return caseInfo.param.name; });

TEST(CliUpgrade, WithoutABridgeThePortErrorIsReported) {
    CliRig rig("bridges = 0\n");
    const CliResult result = rig.run("upgrade --yes");
    EXPECT_EQ(result.exitCode, 10) << result.out << result.err;
    EXPECT_TRUE(contains(result.err, "no PXR7 meter lead is connected"));
    // The advice ends as its own sentence does, with no stop after its question mark.
    EXPECT_TRUE(contains(result.err, "serial number or index?\n")) << result.err;
}

TEST(CliUpgrade, AFactoryFreshLeadIsSetUpWithinTheRunThenUpgraded) {
    CliRig rig("state_file = state.txt\nreenumerate_ms = 3000\n"
               "[bridge 0]\neeprom = factory\ncapture = capture.bin\n");
    // With consent the lead is set up within the run: its changes are shown, written, and the
    // upgrade goes on once the lead is back under its serial number.
    const CliResult first = rig.run("upgrade --yes --setup");
    EXPECT_EQ(first.exitCode, 0) << first.out << first.err;
    EXPECT_TRUE(contains(first.out, "InvertDTR    0 -> 1")) << first.out;
    EXPECT_EQ(rig.countTrace("FT_EE_Program"), 1);
    EXPECT_EQ(rig.countTrace("FT_CyclePort"), 1);
    EXPECT_EQ(fileText(rig.path("capture.bin")), fileText(PXR7_FIRMWARE_IMAGE_PATH));
    // The lead keeps its settings: the next run writes no EEPROM.
    rig.clearTrace();
    const CliResult second = rig.run("upgrade --yes --no-verify");
    EXPECT_EQ(second.exitCode, 0) << second.out << second.err;
    EXPECT_EQ(rig.countTrace("FT_EE_Program"), 0);
}

TEST(CliUpgrade, DecliningSendsNothingToTheMeter) {
    CliRig rig(kOneMeter);
    const CliResult result = rig.run("upgrade", "n\n");
    EXPECT_EQ(result.exitCode, 8);
    // Asked on the terminal side: stdout may be a file nobody reads while the program waits.
    EXPECT_TRUE(contains(result.err, "Upgrade now? [y/N]"));
    EXPECT_FALSE(contains(result.out, "Upgrade now?"));
    EXPECT_EQ(rig.countTrace("FT_SetBaudRate bridge=0 baud=1000000"), 0);
    // No answer at all (end of input) declines too.
    EXPECT_EQ(rig.run("upgrade", "").exitCode, 8);
    // With --json and no terminal nothing is asked: refused, whatever the input holds.
    const CliResult json = rig.run("--json upgrade", "y\n");
    EXPECT_EQ(json.exitCode, 2);
    EXPECT_TRUE(contains(json.err, "needs a terminal to ask on")) << json.err;
    EXPECT_EQ(rig.countTrace("FT_SetBaudRate bridge=0 baud=1000000"), 0);
}

// Every stdout line is one JSON object of schema 1, ending in one result.
void expectJsonLines(const std::string& out) {
    std::size_t start = 0;
    std::string last;
    while (start < out.size()) {
        const std::size_t end = out.find('\n', start);
        last = out.substr(start, end - start);
        EXPECT_TRUE(isJsonObject(last)) << last;
        EXPECT_EQ(last.rfind("{\"schema\":1,", 0), 0u) << last;
        start = end == std::string::npos ? out.size() : end + 1;
    }
}

TEST(CliUpgrade, JsonEventsReportEveryRecordAndTheOutcome) {
    CliRig rig(kOneMeter);
    const CliResult result = rig.run("--json upgrade --yes");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    expectJsonLines(result.out);
    EXPECT_TRUE(contains(result.out, "\"event\":\"meter\",\"present\":true,\"serial\":"
                                     "\"PX7A0000\",\"index\":0,\"version\":\"PXR7 V1.02\"}"));
    EXPECT_TRUE(contains(result.out, "\"records\":314,\"total\":314}"));
    EXPECT_TRUE(contains(result.out, "\"kind\":\"information\",\"text\":\"Upgrade complete\"}"));
    EXPECT_TRUE(contains(result.out,
                         "\"event\":\"result\",\"command\":\"upgrade\",\"exit_code\":0,"
                         "\"error\":null,\"result\":\"ok\",\"serial\":\"PX7A0000\","
                         "\"version_before\":"
                         "\"PXR7 V1.02\",\"version_after\":\"PXR7 V1.03\",\"records_sent\""
                         ":314,\"records_total\":314"))
        << result.out;
    // Without --yes and without a terminal there is nobody to ask: a usage error, no prompt.
    const CliResult unasked = rig.run("--json upgrade");
    EXPECT_EQ(unasked.exitCode, 2);
    expectJsonLines(unasked.out);
    EXPECT_FALSE(contains(unasked.out, "[y/N]"));
}

TEST(CliList, ListsEveryBridgeWithItsStateAndTheCount) {
    CliRig rig("[bridge 0]\nversion = PXR7 V1.01\n[bridge 1]\nversion_reply = nak\n"
               "[bridge 2]\nversion = PXR7 \"V1.02\"\n[bridge 3]\neeprom = factory\n"
               "[bridge 4]\nopen = fail\n");
    const CliResult text = rig.run("list");
    EXPECT_EQ(text.exitCode, 0);
    for (const char* part :
         {"0      PX7A0000          Tavelin QVRX          meter answered: PXR7 V1.01",
          "1      PX7A0001          Tavelin QVRX          meter lead, its meter replies but not "
          "with its version (a NAK or garbled bytes)",
          "meter answered: PXR7 \"V1.02\"",
          "3      PX7A0003          FT232R USB UART       factory-fresh FT232R: a new meter "
          "lead or another adapter; if it is the meter's lead: pxr7 setup --serial PX7A0003",
          "4      -                 -                     busy: could not be opened",
          "Meters that answered: 2 of 5 bridges\n"}) {
        EXPECT_TRUE(contains(text.out, part)) << part << "\n" << text.out;
    }
    // Listing writes no EEPROM.
    EXPECT_EQ(rig.countTrace("FT_EE_Program"), 0);
    EXPECT_EQ(rig.countTrace("FT_CyclePort"), 0);
    const CliResult json = rig.run("--json list");
    expectJsonLines(json.out);
    EXPECT_TRUE(contains(json.out, "\"state\":\"needs_setup\""));
    EXPECT_TRUE(contains(json.out, "\"meters\":2,\"exit_code\":0,\"error\":null}\n"));
    // The same shape when the library is missing.
    const CliResult failed = rig.run("--json list --driver /nonexistent/libftd2xx.so");
    EXPECT_EQ(failed.exitCode, 3);
    EXPECT_EQ(failed.out,
              "{\"schema\":1,\"event\":\"message\",\"kind\":\"error\",\"text\":"
              "\"Warning, can't load USB driver (/nonexistent/libftd2xx.so)\"}\n{\"schema\":1,"
              "\"command\":\"list\",\"bridges\":[],\"meters\":0,\"exit_code\":3,"
              "\"error\":\"no_driver\"}\n");
    // One bridge by serial number.
    const CliResult one = rig.run("list --serial PX7A0002");
    EXPECT_TRUE(contains(one.out, "PX7A0002")) << one.out;
    EXPECT_FALSE(contains(one.out, "PX7A0000")) << one.out;
}

TEST(CliCommon, MissingDriverUsageAndAbout) {
    CliRig rig(kOneMeter);
    const CliResult noDriver = rig.run("list --driver /nonexistent/libftd2xx.so");
    EXPECT_EQ(noDriver.exitCode, 3);
    EXPECT_TRUE(
        contains(noDriver.err, "Warning, can't load USB driver (/nonexistent/libftd2xx.so)"));
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

namespace {

std::vector<std::string> recordLines(const CliRig& rig) {
    std::vector<std::string> lines;
    std::istringstream text(fileText(rig.recordPath()));
    for (std::string line; std::getline(text, line);) {
        lines.push_back(line);
    }
    return lines;
}

} // namespace

TEST(CliRecord, UpgradeRecordsEachMeterAndHistorySumsUpARecordWithATornLine) {
    CliRig rig("state_file = state.txt\n[bridge 0]\n[bridge 1]\nversion = PXR7 V1.03\n");
    const CliResult result = rig.run("upgrade --all --yes --skip-if-current");
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    const std::vector<std::string> lines = recordLines(rig);
    ASSERT_EQ(lines.size(), 2u);
    for (const char* part :
         {"{\"schema\":1,\"bench\":\"", "\",\"seq\":1,\"stream\":\"",
          "\",\"command\":\"upgrade\",\"started\":\"20", "\"lead_serial\":\"PX7A0000\"",
          "\"lead_location\":\"0x01100000\"", "\"result\":\"ok\"",
          "\"version_before\":\"PXR7 V1.02\"", "\"version_after\":\"PXR7 V1.03\"",
          "\"records_sent\":314,\"records_total\":314", "\"image_sha256\":\"",
          "\"backend\":\"D2XX\""}) {
        EXPECT_TRUE(contains(lines[0], part)) << part << " in " << lines[0];
    }
    EXPECT_TRUE(contains(lines[1], "\"lead_serial\":\"PX7A0001\",\"lead_index\":1"));
    EXPECT_TRUE(contains(lines[1], "\"result\":\"current\"")) << lines[1];
    EXPECT_TRUE(contains(lines[1], "\"seq\":2,")) << lines[1];
    EXPECT_FALSE(contains(lines[0], "\"prev\"")) << "a stream's first line has none";
    EXPECT_TRUE(contains(lines[1], "\"prev\":\"" + pxr7::lineDigest(lines[0]) + "\"")) << lines[1];
    EXPECT_TRUE(contains(lines[1], "\"records_sent\":0")) << "nothing sent to a current meter";
    EXPECT_TRUE(contains(result.out, "PX7A0001          current              -  ")) << result.out;
    // One meter left as it was says so, in words and in JSON, as the record does.
    const CliResult one = rig.run("upgrade --yes --skip-if-current --index 1");
    EXPECT_TRUE(contains(one.out, "current: PXR7 V1.03")) << one.out;
    const CliResult oneJson = rig.run("--json upgrade --yes --skip-if-current --index 1");
    EXPECT_TRUE(contains(oneJson.out, "\"error\":null,\"result\":\"current\",")) << oneJson.out;

    // A record that cannot be written is a warning, never another exit code.
    ASSERT_EQ(rig.shell("mkfifo record.fifo"), 0);
    const CliResult refused = rig.run("upgrade --all --yes --skip-if-current --record record.fifo");
    EXPECT_EQ(refused.exitCode, 0) << refused.err;
    EXPECT_TRUE(contains(refused.err, "pxr7: warning: could not write the record record.fifo: "
                                      "not a regular file"))
        << refused.err;

    writeFile(rig.recordPath(), fileText(rig.recordPath()) + lines[0].substr(0, 60));
    const CliResult history = rig.run("history --last 1");
    EXPECT_EQ(history.exitCode, 0) << history.err;
    EXPECT_TRUE(contains(history.out, ": 4 meters (1 unreadable line skipped)")) << history.out;
    EXPECT_TRUE(contains(history.out, "PX7A0000          0x01100000     1        0       0  ok"))
        << history.out;
    EXPECT_TRUE(contains(history.out, "Last 1:\n")) << history.out;
    const CliResult json = rig.run("--json history --record missing.jsonl");
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_TRUE(contains(json.out, "\"found\":false,\"entries\":0")) << json.out;

    // A record of two benches: per bench, then its leads; --bench keeps one.
    writeFile(rig.path("two.jsonl"),
              R"({"schema":1,"bench":"east","seq":1,"lead_serial":"PX7A0000","result":"ok"})"
              "\n"
              R"({"schema":1,"bench":"west","seq":1,"lead_serial":"PX7A0005","result":"failed"})"
              "\n");
    const CliResult two = rig.run("history --record two.jsonl");
    EXPECT_TRUE(contains(two.out, "\nBench east: 1 meter, 1 ok, 0 current, 0 failed\n")) << two.out;
    EXPECT_TRUE(contains(two.out, "\nBench west: 1 meter, 0 ok, 0 current, 1 failed\n")) << two.out;
    const CliResult west = rig.run("--json history --record two.jsonl --bench west");
    EXPECT_TRUE(
        contains(west.out, "\"benches\":[{\"bench\":\"west\",\"ok\":0,\"current\":0,\"failed\":1,"))
        << west.out;
    EXPECT_TRUE(contains(west.out, "\"entries\":1,")) << west.out;
}
