// pxr7 station end to end through the simulator: lanes that come and go, meter after meter on
// one lead, the retries, the bridges it must leave alone, the record, and both ways to stop.
// Every run ends by itself with --count, or by the signal the test sends.
#include "cli_rig.h"
#include "json_check.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

using namespace simrig;

namespace {

const std::string kMeter = "version = PXR7 V1.02\n";
const std::string kStation = "station --record record.jsonl ";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string image() {
    return fileText(PXR7_FIRMWARE_IMAGE_PATH);
}

// The text's lines; a last one without its newline is left out.
std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos;
         end = text.find('\n', start)) {
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// The record's lines, each checked to end with its newline.
std::vector<std::string> recordLines(const CliRig& rig) {
    const std::string text = fileText(rig.path("record.jsonl"));
    EXPECT_TRUE(text.empty() || text.back() == '\n') << "a line without its newline: " << text;
    return lines(text);
}

int callsOnBridge(const CliRig& rig, int bridge, const std::string& name) {
    return countCalls(linesOfBridge(rig.trace(), bridge), name);
}

// Calls on a bridge that only a meter lead may get: anything beyond the look at who it is.
int intrusiveCalls(const CliRig& rig, int bridge) {
    int count = 0;
    for (const std::string& line : linesOfBridge(rig.trace(), bridge)) {
        const std::string name = callName(line);
        count += name != "FT_GetDeviceInfo" && name != "FT_Close" ? 1 : 0;
    }
    return count;
}

struct StationCase {
    const char* name;
    std::string scenario;
    std::string arguments;
    int exitCode;
    std::function<void(const CliRig&, const std::vector<std::string>&)> check;
};

void PrintTo(const StationCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

std::string eightMeters() {
    std::string scenario;
    for (int i = 0; i < 8; ++i) {
        scenario += "[bridge " + std::to_string(i) + "]\n" + kMeter + "capture = capture" +
                    std::to_string(i) + ".bin\n";
    }
    return scenario;
}

// A shell fragment that waits until condition holds, tries times 10 ms at the most, then goes
// on.
std::string once(const std::string& condition, int tries = 2000) {
    return "i=0; until " + condition + " || [ $i -ge " + std::to_string(tries) +
           " ]; do sleep 0.01; i=$((i+1)); done; ";
}

// The station run with what keys types on its input: its output in out.txt, its errors in
// err.txt; the shell's exit code.
int typedStation(const CliRig& rig, const std::string& keys, const std::string& arguments) {
    return rig.shell("(" + keys + ") | " + rig.commandLine(arguments) + " >out.txt 2>err.txt");
}

// The record's lines that carry all the parts.
int linesWith(const std::vector<std::string>& record, const std::vector<std::string>& parts) {
    int count = 0;
    for (const std::string& line : record) {
        bool all = true;
        for (const std::string& part : parts) {
            all = all && contains(line, part);
        }
        count += all ? 1 : 0;
    }
    return count;
}

const StationCase kCases[] = {
    {"ALeadPluggedInLateGetsItsLane",
     "[bridge 0]\n" + kMeter + "capture = capture0.bin\n[bridge 1]\nappear_ms = 2500\n" + kMeter +
         "capture = capture1.bin\n",
     kStation + "--count 2", 0,
     [](const CliRig& rig, const std::vector<std::string>& record) {
         EXPECT_EQ(fileText(rig.path("capture0.bin")), image());
         EXPECT_EQ(fileText(rig.path("capture1.bin")), image());
         ASSERT_EQ(record.size(), 2u);
         EXPECT_EQ(linesWith(record, {"\"lead_serial\":\"PX7A0000\"", "\"result\":\"ok\""}), 1);
         EXPECT_EQ(linesWith(record, {"\"lead_serial\":\"PX7A0001\"", "\"result\":\"ok\""}), 1);
     }},
    {"TwoMetersInTurnOnOneLead",
     "[bridge 0]\n" + kMeter + "capture = capture.bin\nmeter_windows = 0-7000,8500-20000\n",
     kStation + "--count 2", 0,
     [](const CliRig& rig, const std::vector<std::string>& record) {
         EXPECT_EQ(fileText(rig.path("capture.bin")), image());
         EXPECT_EQ(fileText(rig.path("capture.bin.1")), image());
         EXPECT_EQ(linesWith(record, {"\"result\":\"ok\"", "\"version_before\":\"PXR7 V1.02\""}),
                   2);
     }},
    {"ATransferThatStopsOnceSucceedsOnItsRetry",
     "[bridge 0]\n" + kMeter + "capture = capture.bin\nstop_once_after_record = 100\n",
     kStation + "--count 1", 0,
     [](const CliRig& rig, const std::vector<std::string>& record) {
         EXPECT_EQ(fileText(rig.path("capture.bin")), image());
         EXPECT_EQ(linesWith(record, {"\"result\":\"ok\"", "\"attempts\":2"}), 1);
     }},
    {"ALeadPulledPartWayIsAFailure", "[bridge 0]\n" + kMeter + "leave_ms = 2500\n",
     kStation + "--count 1", 17,
     [](const CliRig&, const std::vector<std::string>& record) {
         ASSERT_EQ(record.size(), 1u);
         EXPECT_FALSE(contains(record[0], "\"result\":\"ok\"")) << record[0];
         EXPECT_EQ(linesWith(record, {"\"records_total\":314"}), 1) << record[0];
     }},
    // Every unit on its own line: a meter pulled part-way (about record 240) with the next one
    // clipped on a second later, a swap within a second of an "ok", a meter clipped on a second
    // after a failed one, and a lead plugged in ahead of one being served.
    {"AMeterPulledPartWayAndTheNextClippedOnAreTwoUnits",
     "[bridge 0]\n" + kMeter + "capture = capture.bin\nmeter_windows = 0-3600,4600-30000\n",
     kStation + "--count 2", 17,
     [](const CliRig& rig, const std::vector<std::string>& record) {
         ASSERT_EQ(record.size(), 2u);
         EXPECT_TRUE(contains(record[0], "\"result\":\"transfer_stopped\"")) << record[0];
         EXPECT_EQ(linesWith(record, {"\"result\":\"ok\"", "\"version_before\":\"PXR7 V1.02\"",
                                      "\"attempts\":1"}),
                   1);
         EXPECT_FALSE(fileExists(rig.path("capture.bin")));
         EXPECT_EQ(fileText(rig.path("capture.bin.1")), image());
     }},
    {"ASwapWithinASecondOfAnOkIsServed",
     "[bridge 0]\n" + kMeter + "capture = capture.bin\nmeter_windows = 0-8000,8800-30000\n",
     kStation + "--count 2", 0,
     [](const CliRig& rig, const std::vector<std::string>& record) {
         EXPECT_EQ(linesWith(record, {"\"result\":\"ok\""}), 2);
         EXPECT_EQ(fileText(rig.path("capture.bin.1")), image());
     }},
    {"AMeterClippedOnASecondAfterAFailedOneIsServed",
     "[bridge 0]\n" + kMeter +
         "capture = capture.bin\nstop_once_after_record = 50\nmeter_windows = 0-2300,2800-30000\n",
     kStation + "--count 2 --retries 0", 17,
     [](const CliRig& rig, const std::vector<std::string>& record) {
         ASSERT_EQ(record.size(), 2u);
         EXPECT_TRUE(contains(record[0], "\"result\":\"transfer_stopped\"")) << record[0];
         EXPECT_TRUE(contains(record[1], "\"result\":\"ok\"")) << record[1];
         EXPECT_EQ(fileText(rig.path("capture.bin.1")), image());
     }},
    {"ALeadPluggedInAheadOfAServedOneRecordsEachUnitOnce",
     "[bridge 0]\nappear_ms = 2500\n" + kMeter + "capture = capture0.bin\n[bridge 1]\n" + kMeter +
         "capture = capture1.bin\n",
     kStation + "--count 2", 0,
     [](const CliRig& rig, const std::vector<std::string>& record) {
         ASSERT_EQ(record.size(), 2u);
         EXPECT_EQ(linesWith(record, {"\"lead_serial\":\"PX7A0000\"", "\"result\":\"ok\""}), 1);
         EXPECT_EQ(linesWith(record, {"\"lead_serial\":\"PX7A0001\"", "\"result\":\"ok\""}), 1);
         EXPECT_EQ(fileText(rig.path("capture1.bin")), image());
     }},
    // Twins on a driver without locations: both shown with the reason, neither served.
    {"TwinsThatCannotBeToldApartAreShownAndNeverServed",
     "locations = none\n[bridge 0]\nserial = PX7T0001\n" + kMeter +
         "[bridge 1]\nserial = PX7T0001\n" + kMeter + "[bridge 2]\n" + kMeter +
         "capture = capture.bin\n",
     kStation + "--count 1", 0,
     [](const CliRig& rig, const std::vector<std::string>& record) {
         for (int bridge = 0; bridge < 2; ++bridge) {
             EXPECT_EQ(callsOnBridge(rig, bridge, "FT_SetDtr"), 0) << bridge;
         }
         ASSERT_EQ(record.size(), 1u);
         EXPECT_TRUE(contains(record[0], "PX7A0002")) << record[0];
     }},
    {"EightLanesAtOnceByteForByte", eightMeters(), kStation + "--count 8", 0,
     [](const CliRig& rig, const std::vector<std::string>& record) {
         for (int i = 0; i < 8; ++i) {
             EXPECT_EQ(fileText(rig.path("capture" + std::to_string(i) + ".bin")), image()) << i;
         }
         ASSERT_EQ(record.size(), 8u);
         for (int i = 0; i < 8; ++i) {
             const std::string serial = "PX7A000" + std::to_string(i);
             int lines = 0;
             for (const std::string& line : record) {
                 lines += contains(line, serial) && contains(line, "\"result\":\"ok\"") ? 1 : 0;
             }
             EXPECT_EQ(lines, 1) << serial;
         }
     }},
    {"CurrentMeterIsLeftAlone", "[bridge 0]\nversion = PXR7 V1.03\n", kStation + "--count 1", 0,
     [](const CliRig& rig, const std::vector<std::string>& record) {
         EXPECT_EQ(callsOnBridge(rig, 0, "FT_SetDtr"), 0);
         EXPECT_EQ(countPrefixed(rig.trace(), "FT_Write bridge=0 length=516"), 0);
         ASSERT_EQ(record.size(), 1u);
         EXPECT_TRUE(contains(record[0], "\"result\":\"current\"")) << record[0];
     }},
    {"RetriesRunOutAndTheFailureIsRecorded", "[bridge 0]\nstop_after_record = 5\n" + kMeter,
     kStation + "--count 1 --retries 1", 17,
     [](const CliRig& rig, const std::vector<std::string>& record) {
         // One reset pulse for each attempt, then none: the failed meter is not tried again.
         EXPECT_EQ(callsOnBridge(rig, 0, "FT_SetDtr"), 2);
         ASSERT_EQ(record.size(), 1u);
         EXPECT_TRUE(contains(record[0], "\"result\":\"transfer_stopped\"")) << record[0];
         EXPECT_TRUE(contains(record[0], "\"attempts\":2")) << record[0];
     }},
    // It still answers on its old firmware after every pulse: the same meter, pulsed at most
    // once per attempt, recorded once, and left alone while it stays on its lead.
    {"AMeterWhoseResetDoesNotTakeIsRecordedOnce",
     "[bridge 0]\n" + kMeter + "reset = ignored\n[bridge 1]\nappear_ms = 16000\n" + kMeter,
     kStation + "--count 2", 17,
     [](const CliRig& rig, const std::vector<std::string>& record) {
         EXPECT_LE(callsOnBridge(rig, 0, "FT_SetDtr"), 2 * 3);
         ASSERT_EQ(record.size(), 2u);
         EXPECT_EQ(
             linesWith(record, {"PX7A0000", "\"result\":\"reset_ignored\"", "\"attempts\":3"}), 1);
         EXPECT_EQ(linesWith(record, {"PX7A0001", "\"result\":\"ok\""}), 1);
     }},
    // Its boot loader answers on the old version after the stop: the same meter, tried again.
    {"AStoppedTransferToAMeterWhoseBootLoaderAnswersIsRetried",
     "[bridge 0]\n" + kMeter +
         "capture = capture.bin\nstop_once_after_record = 120\nboot_loader_answers = version\n",
     kStation + "--count 1 --retries 2", 0,
     [](const CliRig& rig, const std::vector<std::string>& record) {
         ASSERT_EQ(record.size(), 1u);
         EXPECT_TRUE(contains(record[0], "\"result\":\"ok\"")) << record[0];
         EXPECT_TRUE(contains(record[0], "\"attempts\":2")) << record[0];
         EXPECT_EQ(fileText(rig.path("capture.bin")), image());
     }},
    // Reads fail from record 120 on, the bridge still listed: the retry's reset gets nothing,
    // and the line says how far the first attempt got.
    {"ALeadPulledPartWayIsRecordedWithTheRecordsItGotAcross",
     "[bridge 0]\n" + kMeter + "reads_fail_from_record = 120\n", kStation + "--count 1", 17,
     [](const CliRig&, const std::vector<std::string>& record) {
         ASSERT_EQ(record.size(), 1u);
         EXPECT_TRUE(contains(record[0], "\"result\":\"transfer_stopped\"")) << record[0];
         EXPECT_TRUE(contains(record[0], "\"records_sent\":121")) << record[0];
         EXPECT_TRUE(contains(record[0], "\"furthest_attempt\":1")) << record[0];
     }},
    {"WithSetupAFactoryLeadIsSetUpAndItsMeterUpgraded",
     "[bridge 0]\neeprom = factory\n" + kMeter + "capture = capture.bin\n",
     kStation + "--setup --count 1", 0,
     [](const CliRig& rig, const std::vector<std::string>& record) {
         EXPECT_EQ(callsOnBridge(rig, 0, "FT_EE_Program"), 1);
         EXPECT_EQ(fileText(rig.path("capture.bin")), image());
         EXPECT_EQ(linesWith(record, {"\"result\":\"ok\""}), 1);
     }},
    {"ForeignBridgeAndFactoryLeadAreLeftAlone",
     "[bridge 0]\neeprom = factory\ndescription = USB-Serial Gadget\n[bridge 1]\neeprom = "
     "factory\n" +
         kMeter + "[bridge 2]\n" + kMeter + "capture = capture.bin\n",
     kStation + "--count 1", 0,
     [](const CliRig& rig, const std::vector<std::string>& record) {
         EXPECT_EQ(intrusiveCalls(rig, 0), 0);
         EXPECT_EQ(callsOnBridge(rig, 1, "FT_EE_Program"), 0);
         EXPECT_EQ(callsOnBridge(rig, 1, "FT_SetDtr"), 0);
         EXPECT_EQ(callsOnBridge(rig, 1, "FT_Write"), 0);
         EXPECT_EQ(fileText(rig.path("capture.bin")), image());
         ASSERT_EQ(record.size(), 1u);
         EXPECT_TRUE(contains(record[0], "PX7A0002")) << record[0];
     }},
};

class CliStation : public ::testing::TestWithParam<StationCase> {};

TEST_P(CliStation, Runs) {
    const StationCase& c = GetParam();
    CliRig rig(c.scenario);
    const CliResult result = rig.run(c.arguments);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.out << result.err;
    c.check(rig, recordLines(rig));
}

INSTANTIATE_TEST_SUITE_P(Cases, CliStation, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<StationCase>& param) {
                             return std::string(param.param.name);
                         });

// A second station on the same record adds its line after the first one's, which stays as it
// was.
TEST(CliStationRecord, ASecondStationAppends) {
    CliRig rig("[bridge 0]\n" + kMeter);
    ASSERT_EQ(rig.run(kStation + "--count 1").exitCode, 0);
    const std::vector<std::string> first = recordLines(rig);
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(rig.run(kStation + "--count 1").exitCode, 0);
    const std::vector<std::string> both = recordLines(rig);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[0], first[0]);
}

// With --json every line is one event tagged with its lane: a lead that leaves while another
// lane upgrades ends its own lane only, also when the lead left was ahead of the one being
// upgraded, whose bridge then holds the index the left lead had; progress comes at most every
// 10 records.
TEST(CliStationEvents, LanesComeAndGoInJsonEvents) {
    const std::string leaving = "meter_windows = 60000-61000\nleave_ms = 2000\n";
    const struct {
        std::string scenario;
        const char* gone;
    } benches[] = {
        {"[bridge 0]\n" + kMeter + "[bridge 1]\n" + kMeter + leaving, "PX7A0001"},
        {"[bridge 0]\n" + kMeter + leaving + "[bridge 1]\n" + kMeter, "PX7A0000"},
    };
    for (const auto& bench : benches) {
        CliRig rig(bench.scenario);
        const CliResult result = rig.run("--json " + kStation + "--count 1");
        EXPECT_EQ(result.exitCode, 0) << result.err;
        std::vector<std::string> events;
        std::size_t start = 0;
        for (std::size_t end = result.out.find('\n'); end != std::string::npos;
             end = result.out.find('\n', start)) {
            events.push_back(result.out.substr(start, end - start));
            start = end + 1;
        }
        int progress = 0, gone = 0;
        bool verifying = false; // the lane that upgrades has let go of its bridge
        for (const std::string& event : events) {
            verifying = verifying || contains(event, "\"phase\":\"verifying\"");
            EXPECT_TRUE(isJsonObject(event)) << event;
            EXPECT_TRUE(contains(event, "\"lane\":") || contains(event, "\"event\":\"result\""))
                << event;
            progress += contains(event, "\"event\":\"progress\"") ? 1 : 0;
            if (contains(event, "\"event\":\"lane_gone\"")) {
                ++gone;
                EXPECT_FALSE(verifying) << "the lane went only once the transfer let go";
                EXPECT_TRUE(contains(event, std::string("\"serial\":\"") + bench.gone + "\""))
                    << event;
            }
        }
        EXPECT_EQ(gone, 1) << bench.gone;
        EXPECT_GE(progress, 31);
        EXPECT_LE(progress, 33);
        ASSERT_FALSE(events.empty());
        EXPECT_TRUE(contains(events.back(), "\"event\":\"result\"")) << events.back();
        EXPECT_EQ(recordLines(rig).size(), 1u);
    }
}

// SIGTERM mid-transfer stops at once: DTR cleared, the port closed, the run recorded, 143.
// One Ctrl+C lets the transfer under way finish; it is recorded ok and the station ends. The
// station's totals count the stopped meter nowhere.
TEST(CliStationStops, BothSignalPaths) {
    struct {
        const char* signal;
        int exitCode;
        const char* result;
    } const cases[] = {{"TERM", 143, "terminated"}, {"INT", 0, "ok"}};
    for (const auto& c : cases) {
        CliRig rig("[bridge 0]\n" + kMeter + "capture = capture.bin\n");
        const int status = rig.shell(rig.commandLine(kStation) + " >out.txt 2>err.txt & pid=$!; " +
                                     waitForTrace("FT_Write bridge=0 length=516", 20) + "kill -" +
                                     c.signal + " $(cat /proc/$pid/task/$pid/children); wait $pid");
        EXPECT_EQ(status, c.exitCode) << c.signal << fileText(rig.path("err.txt"));
        const std::vector<std::string> names = callNames(linesOfBridge(rig.trace(), 0));
        ASSERT_GE(names.size(), 2u);
        EXPECT_EQ(names.back(), "FT_Close") << c.signal;
        std::string lastDtr;
        for (const std::string& name : names) {
            lastDtr = name == "FT_SetDtr" || name == "FT_ClrDtr" ? name : lastDtr;
        }
        EXPECT_EQ(lastDtr, "FT_ClrDtr") << c.signal;
        const std::vector<std::string> record = recordLines(rig);
        ASSERT_EQ(record.size(), 1u) << c.signal;
        EXPECT_TRUE(contains(record[0], std::string("\"result\":\"") + c.result + "\""))
            << record[0];
        EXPECT_EQ(fileText(rig.path("capture.bin")) == image(), c.exitCode == 0) << c.signal;
        // A meter stopped by a signal did not fail: the totals count it nowhere.
        const std::string totals =
            std::string("Station: ") + (c.exitCode == 0 ? "1" : "0") + " ok, 0 current, 0 failed";
        EXPECT_TRUE(contains(fileText(rig.path("out.txt")), totals))
            << fileText(rig.path("out.txt"));
    }
}

// A driver read that never returns: SIGTERM cannot end the transfer, so the watchdog ends the
// program, and the meter under way still gets its one line.
TEST(CliStationStops, AStuckReadEndedByTheWatchdogIsRecorded) {
    CliRig rig("[bridge 0]\n" + kMeter + "hang_read_from_record = 30\n");
    const int status = rig.shell(rig.commandLine(kStation) + " >out.txt 2>err.txt & pid=$!; " +
                                 waitForTrace("FT_Write bridge=0 length=516", 31) +
                                 "sleep 0.3; kill -TERM $(cat /proc/$pid/task/$pid/children); "
                                 "wait $pid");
    EXPECT_EQ(status, 143) << fileText(rig.path("err.txt"));
    const std::vector<std::string> record = recordLines(rig);
    ASSERT_EQ(record.size(), 1u);
    EXPECT_TRUE(contains(record[0], "\"result\":\"terminated\"")) << record[0];
    EXPECT_TRUE(contains(record[0], "\"attempts\":1")) << record[0];
}

// SIGKILL while eight lanes finish: every line already in the record is whole.
TEST(CliStationStops, TheRecordStaysWholeAfterSigkill) {
    CliRig rig(eightMeters());
    rig.shell(rig.commandLine(kStation) + " >out.txt 2>err.txt & pid=$!; " +
              "i=0; until [ -s record.jsonl ] || [ $i -ge 2000 ]; do sleep 0.005; i=$((i+1)); "
              "done; kill -KILL $(cat /proc/$pid/task/$pid/children); wait $pid");
    const std::vector<std::string> record = recordLines(rig);
    EXPECT_GE(record.size(), 1u);
    for (const std::string& line : record) {
        EXPECT_TRUE(isJsonObject(line)) << line;
    }
}

} // namespace

// A bridge nobody may open, and a lead another program takes once its lane has started: each
// is one lane that says why and what to do, and neither gets anything but a look.
TEST(CliStationLanes, LeadsTheStationCannotUseSayWhyAndWhatToDo) {
    CliRig rig("[bridge 0]\nopen = fail\n[bridge 1]\nbusy_ms = 1500-600000\nmeter_windows = "
               "100000-100001\n[bridge 2]\n" +
               kMeter + "meter_windows = 5000-60000\n[bridge 3]\nversion_reply = nak\n");
    writeFile(rig.path("bench.conf"), "location 0x01100000 = Fixture D\n");
    const CliResult result = rig.run("--json " + kStation + "--count 1 --bench bench.conf");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    // The bench file's name for the one that cannot be opened to see who it is.
    EXPECT_NE(result.out.find(R"("serial":"","index":0,"lane_name":"Fixture D")"),
              std::string::npos)
        << result.out;
    // One that nobody holds and one another program holds, each with its own cause.
    for (const auto& [lead, reason] :
         {std::pair<std::string, std::string>{R"("serial":"","index":0,)",
                                              "could not be opened, and no program holds it"},
          {R"("serial":"PX7A0001","index":1,)", "could not be opened: another program"}}) {
        const std::regex event(lead + R"(.*"state":"cannot_open","reason":")" + reason);
        EXPECT_TRUE(std::regex_search(result.out, event)) << lead << "\n" << result.out;
    }
    EXPECT_EQ(result.out.find(R"("serial":"","index":1)"), std::string::npos) << result.out;
    // A meter that replies NAK is told from an empty lead, and never served.
    EXPECT_TRUE(std::regex_search(
        result.out, std::regex(R"("serial":"PX7A0003".*"state":"meter_not_a_version")")))
        << result.out;
    EXPECT_EQ(callsOnBridge(rig, 3, "FT_SetDtr"), 0);
    EXPECT_EQ(intrusiveCalls(rig, 0), 0);
    EXPECT_EQ(callsOnBridge(rig, 1, "FT_SetDtr"), 0);
}

namespace {

// Two named leads with --unit-ids: an id scanned after its fixture's label, before any meter is
// clipped on, goes to that fixture's meter; the second meter waits unserved until the next id
// is typed, which, with one meter waiting, needs no label. The names and ids are in the events,
// the record and `history --unit`. A bad bench file stops the station before any lead is
// touched.
TEST(CliStationUnitIds, IdsTypedBeforeAndAfterGoToTheirMetersWithTheLanesNames) {
    CliRig rig("[bridge 0]\n" + kMeter + "meter_windows = 1500-60000\n[bridge 1]\n" + kMeter +
               "meter_windows = 2000-60000\n");
    writeFile(rig.path("bench.conf"),
              "# pxr7 bench file\r\nserial PX7A0000 = Fixture A\nlocation 0x01200000 = Fixture B\n"
              "serial PX7A0001 = Not by serial\n");
    // Fixture A's label once its lead is a lane, its meter not clipped on yet; the second id
    // once the second meter waits for one (twenty seconds at most each).
    const int status = typedStation(
        rig,
        once("grep '\"state\":\"waiting\"' out.txt 2>/dev/null | grep -q PX7A0000") +
            "echo 'LANE:Fixture A'; echo UNIT-A; " +
            once("grep '\"state\":\"needs_unit_id\"' out.txt 2>/dev/null | grep -q PX7A0001") +
            "echo UNIT-B",
        "--json " + kStation + "--count 2 --unit-ids --bench bench.conf");
    ASSERT_EQ(status, 0) << fileText(rig.path("err.txt"));
    bool waited = false;
    int arrived = 0;
    for (const std::string& event : lines(fileText(rig.path("out.txt")))) {
        const bool b = contains(event, "\"serial\":\"PX7A0001\"");
        if (contains(event, "\"lane\":") && !contains(event, "\"lane\":null")) {
            EXPECT_TRUE(
                contains(event, b ? "\"lane_name\":\"Fixture B\"" : "\"lane_name\":\"Fixture A\""))
                << event;
        }
        waited = waited || (b && contains(event, "\"state\":\"needs_unit_id\""));
        if (contains(event, "\"event\":\"meter_arrived\"")) {
            ++arrived;
            EXPECT_TRUE(contains(event, b ? "\"unit_id\":\"UNIT-B\"" : "\"unit_id\":\"UNIT-A\""))
                << event;
            EXPECT_EQ(waited, b) << "the second meter waited for its id: " << event;
        }
    }
    EXPECT_EQ(arrived, 2);
    const std::vector<std::string> record = recordLines(rig);
    ASSERT_EQ(record.size(), 2u);
    EXPECT_EQ(linesWith(record, {"PX7A0000", "\"lane_name\":\"Fixture A\"",
                                 "\"unit_id\":\"UNIT-A\"", "\"result\":\"ok\""}),
              1);
    EXPECT_EQ(linesWith(record, {"PX7A0001", "\"lane_name\":\"Fixture B\"",
                                 "\"unit_id\":\"UNIT-B\"", "\"result\":\"ok\""}),
              1);
    const CliResult b = rig.run("--json history --record record.jsonl --unit UNIT-B");
    EXPECT_EQ(b.exitCode, 0) << b.err;
    EXPECT_TRUE(contains(b.out, "\"entries\":1")) << b.out;
    EXPECT_TRUE(contains(b.out, "\"lead_serial\":\"PX7A0001\"")) << b.out;
    EXPECT_FALSE(contains(b.out, "PX7A0000")) << b.out;
    const CliResult a = rig.run("history --record record.jsonl --unit UNIT-A");
    EXPECT_TRUE(contains(a.out, "unit UNIT-A: 1 meter")) << a.out;
    EXPECT_TRUE(contains(a.out, "PX7A0000")) << a.out;

    const CliResult full = rig.run("history --record record.jsonl --unit UNIT-B");
    for (const char* field : {"  lane_name: Fixture B", "  unit_id: UNIT-B", "  operator: -",
                              "  seq: 2", "  records_sent: 314", "  backend: D2XX"}) {
        EXPECT_TRUE(contains(full.out, field)) << field << "\n" << full.out;
    }

    writeFile(rig.path("bad.conf"), "serial PX7A0000 = A\nlocation 1-1.4 = B\n");
    rig.clearTrace();
    for (const char* bench : {"bad.conf", "missing.conf"}) {
        const CliResult refused = rig.run(kStation + "--count 1 --bench " + bench);
        EXPECT_EQ(refused.exitCode, 2) << bench << refused.err;
        EXPECT_TRUE(contains(refused.err, bench)) << refused.err;
        EXPECT_EQ(rig.countTrace("FT_Open"), 0) << bench;
    }
    EXPECT_TRUE(contains(rig.run(kStation + "--bench bad.conf").err, "line 2")) << "line number";
}

// A meter that takes 20 s to start its new firmware, on a bench that allows 30: one ok line.
// The bench's names are UTF-8 and come back as typed, in the record and on a UTF-8 terminal.
TEST(CliStationBench, ASlowStarterWithinVerifySecondsAndUtf8NamesAsTyped) {
    CliRig rig("[bridge 0]\n" + kMeter + "start_delay_ms = 20000\ncapture = capture.bin\n");
    writeFile(rig.path("bench.conf"), "bench = Linie 3 – Süd\nverify_seconds = 30\n"
                                      "serial PX7A0000 = Prüfplatz \"A\"\n");
    const CliResult result =
        rig.run("--json " + kStation + "--count 1 --retries 0 --bench bench.conf");
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    const std::vector<std::string> record = recordLines(rig);
    ASSERT_EQ(record.size(), 1u);
    for (const char* part :
         {"\"result\":\"ok\"", "\"attempts\":1", "\"bench\":\"Linie 3 \\u2013 S\\u00fcd\"",
          "\"lane_name\":\"Pr\\u00fcfplatz \\\"A\\\"\""}) {
        EXPECT_TRUE(contains(record[0], part)) << part << " in " << record[0];
        if (std::string(part).find("lane_name") != std::string::npos) {
            EXPECT_TRUE(contains(result.out, part)) << part << " in the events";
        }
    }
    writeFile(rig.path("bad.conf"), "serial PX7A0000 = Pr\xFC"
                                    "fplatz\n");
    const CliResult refused = rig.run(kStation + "--count 1 --bench bad.conf");
    EXPECT_EQ(refused.exitCode, 2) << refused.err;
    EXPECT_TRUE(contains(refused.err, "UTF-8")) << refused.err;
}

// A meter swapped for another while it waits for its id gives up its place: with ids in the
// order meters wait (oldest_first), the next id goes to the meter on Fixture B, which waited
// before the newcomer on Fixture A, and never to the newcomer. The operator's badge names who
// ran each unit, and every binding says how it was made.
TEST(CliStationUnitIds, AMeterSwappedBeforeItsIdArrivesDoesNotPassTheIdToTheNewcomer) {
    CliRig rig("[bridge 0]\n" + kMeter +
               "version_per_unit = yes\nmeter_windows = 500-4000,4000-60000\n[bridge 1]\n" +
               kMeter + "version_per_unit = yes\nmeter_windows = 1500-60000\n");
    writeFile(rig.path("bench.conf"), "unit_id_order = oldest_first\noperator = Bench lead\n"
                                      "serial PX7A0000 = Fixture A\nserial PX7A0001 = Fixture B\n");
    // Both ids once the newcomer on Fixture A waits for one (twenty seconds at most).
    const int status = typedStation(
        rig,
        "echo 'OP:J. Smith'; " +
            once("[ \"$(grep -c '\"state\":\"needs_unit_id\"' out.txt 2>/dev/null)\" -ge 3 ]") +
            "echo UNIT-1; echo UNIT-2",
        "--json " + kStation + "--count 2 --unit-ids --bench bench.conf");
    ASSERT_EQ(status, 0) << fileText(rig.path("err.txt"));
    const std::string out = fileText(rig.path("out.txt"));
    EXPECT_EQ(linesWith(lines(out), {"\"event\":\"unit_id_bound\"", "\"serial\":\"PX7A0001\"",
                                     "\"unit_id\":\"UNIT-1\"", "\"how\":\"oldest_first\""}),
              1)
        << out;
    // Where the next id goes, as the screen said it: lane 1's first meter, then both, then
    // lane 2 alone once lane 1's meter was swapped, then lane 2 ahead of the newcomer.
    std::string targets;
    const std::regex target(R"re("target":"(\w+)","lane":(\w+).*"waiting":(\d+))re");
    for (const std::string& event : lines(out)) {
        std::smatch found;
        if (contains(event, "\"unit_id_target\"") && std::regex_search(event, found, target)) {
            targets += found[1].str() + " " + found[2].str() + "/" + found[3].str() + "; ";
        }
    }
    EXPECT_EQ(targets,
              "none_waiting null/0; oldest_first 1/1; oldest_first 1/2; "
              "oldest_first 2/1; oldest_first 2/2; oldest_first 1/1; none_waiting null/0; ")
        << out;
    EXPECT_TRUE(contains(out, R"({"schema":1,"event":"operator","operator":"J. Smith"})")) << out;
    const std::vector<std::string> record = recordLines(rig);
    ASSERT_EQ(record.size(), 2u);
    EXPECT_EQ(
        linesWith(record, {"PX7A0001", "\"unit_id\":\"UNIT-1\"", "\"operator\":\"J. Smith\""}), 1);
    EXPECT_EQ(linesWith(record, {"PX7A0000", "\"unit_id\":\"UNIT-2\"",
                                 "\"version_before\":\"PXR7 V1.02 u1\""}),
              1)
        << "the newcomer's line: " << record[0] << "\n"
        << record[1];
}

// A meter that waits for its id is pulled, and a meter on the same version clipped on within
// a second: the id scanned meanwhile starts nothing until a meter answers, so no reset pulse
// goes to an empty lead and the line is the newcomer's alone.
TEST(CliStationUnitIds, AnIdScannedWhileTheWaitingMeterIsGoneWaitsForAnAnswer) {
    CliRig rig("units_log = units.log\n[bridge 0]\n" + kMeter +
               "meter_windows = 500-2500,3200-60000\n");
    const int status =
        typedStation(rig, once("grep -q 'unit=0.0 detached' units.log 2>/dev/null") + "echo UNIT-9",
                     "--json " + kStation + "--count 1 --unit-ids");
    ASSERT_EQ(status, 0) << fileText(rig.path("err.txt"));
    const std::vector<std::string> record = recordLines(rig);
    ASSERT_EQ(record.size(), 1u);
    EXPECT_EQ(linesWith(record, {"\"unit_id\":\"UNIT-9\"", "\"result\":\"ok\"", "\"attempts\":1,"}),
              1)
        << record[0];
    // Every pulse went to a meter on the lead.
    const std::regex event(R"re(^(unit=0\.\d+ (attached|detached)|lead=0 dtr=on) at_ms=(\d+))re");
    bool attached = false;
    for (const std::string& line : lines(fileText(rig.path("units.log")))) {
        std::smatch found;
        if (!std::regex_search(line, found, event)) {
            continue;
        }
        if (found[2].matched) {
            attached = found[2].str() == "attached";
        } else {
            EXPECT_TRUE(attached) << "a pulse at " << found[3].str() << " ms on an empty lead";
        }
    }
}

} // namespace

namespace {

// A worn fixture: every meter on it fails. With out_of_service_after = 3 the third failure in a
// row takes the lane out of service; the fourth meter is left alone (no reset pulse, no line)
// until Ctrl+R takes the lane back, and the next meter put on is served again.
TEST(CliStationBench, ALaneThatFailsThreeInARowTakesNoFourthMeterUntilTakenBack) {
    CliRig rig("units_log = units.log\n[bridge 0]\n" + kMeter +
               "version_per_unit = yes\nhandshake = none\n"
               "meter_windows = 0-2000,3500-5500,7000-9000,10500-15000,16500-30000\n");
    writeFile(rig.path("bench.conf"), "out_of_service_after = 3\nserial PX7A0000 = Fixture A\n");
    // Ctrl+R once the lane is out of service and has heard the fourth meter twice.
    const int status =
        typedStation(rig,
                     once("grep -q '\"state\":\"out_of_service\"' out.txt 2>/dev/null && "
                          "[ \"$(grep -c 'unit=0.3 answered' units.log)\" -ge 2 ]",
                          3000) +
                         "printf '\\022'",
                     "--json " + kStation + "--count 4 --retries 0 --bench bench.conf");
    const std::string out = fileText(rig.path("out.txt"));
    ASSERT_EQ(status, 17) << out << fileText(rig.path("err.txt"));
    const std::vector<std::string> record = recordLines(rig);
    ASSERT_EQ(record.size(), 4u) << out;
    for (const char* unit : {"u0", "u1", "u2", "u4"}) {
        EXPECT_EQ(linesWith(record, {std::string("\"version_before\":\"PXR7 V1.02 ") + unit + "\"",
                                     "\"result\":\"handshake_timeout\""}),
                  1)
            << unit;
    }
    const std::string units = fileText(rig.path("units.log"));
    EXPECT_FALSE(contains(units, "unit=0.3 held")) << units;
    EXPECT_TRUE(contains(units, "unit=0.4 held")) << units;
    EXPECT_EQ(linesWith(lines(out), {"\"state\":\"out_of_service\""}), 1) << out;
}

} // namespace

namespace {

// Nobody reads the station's --json events for a while, through a pipe of one page (4 KB, far
// less than one meter's events): the meter is still served and recorded meanwhile, since no
// lane's thread waits for its output. The events all come once they are read, in order.
TEST(CliStationEvents, APipeNobodyReadsHoldsUpNoTransfer) {
    CliRig rig("[bridge 0]\n" + kMeter + "capture = capture.bin\n");
    writeFile(rig.path("slow_reader.py"),
              "import fcntl, os, subprocess, sys, time\n"
              "r, w = os.pipe()\n"
              "fcntl.fcntl(w, 1031, 4096)  # F_SETPIPE_SZ\n"
              "p = subprocess.Popen(sys.argv[1], shell=True, stdout=w)\n"
              "os.close(w)\n"
              "start = time.time()\n"
              "def lines():\n"
              "    try:\n"
              "        return open('record.jsonl').read().count('\\n')\n"
              "    except OSError:\n"
              "        return 0\n"
              "while lines() < 1 and time.time() - start < 60 and p.poll() is None:\n"
              "    time.sleep(0.05)\n"
              "open('unread.txt', 'w').write(str(lines()))\n"
              "out = b''\n"
              "while True:\n"
              "    chunk = os.read(r, 65536)\n"
              "    if not chunk:\n"
              "        break\n"
              "    out += chunk\n"
              "open('out.txt', 'wb').write(out)\n"
              "sys.exit(p.wait())\n");
    const std::string command = rig.commandLine("--json " + kStation + "--count 1");
    const int status = rig.shell("python3 slow_reader.py '" + command + "'");
    const std::string out = fileText(rig.path("out.txt"));
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(fileText(rig.path("unread.txt")), "1") << "recorded before its events were read";
    EXPECT_GT(out.size(), 4096u);
    for (const std::string& line : lines(out)) {
        EXPECT_TRUE(isJsonObject(line)) << line;
    }
    EXPECT_EQ(fileText(rig.path("capture.bin")), image());
    EXPECT_NE(out.find("\"event\":\"result\""), std::string::npos) << out;
}

} // namespace
