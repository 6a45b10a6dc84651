// The record end to end: a station whose record cannot be written refuses to start before it
// reaches a single lead, a write past the file-size limit fails with a warning instead of
// ending the program, and history --verify names what was done to a record afterwards.
#include "cli_rig.h"
#include "record.h"
#include "record_chain.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace simrig;

namespace {

const std::string kMeter = "[bridge 0]\nversion = PXR7 V1.02\n";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct RefusalCase {
    const char* name;
    const char* plant; // shell commands that spoil the record's place, run in the rig's folder
    const char* record;
    const char* reason;
};

const RefusalCase kRefusals[] = {
    {"AFileWhereItsFolderShouldBe", "true", "proof.jsonl/record.jsonl", "Not a directory"},
    {"ALinkAtTheRecord", "ln -s proof.jsonl record.jsonl", "record.jsonl", "symbolic link"},
    {"AFifoAtTheRecord", "mkfifo record.jsonl", "record.jsonl", "not a regular file"},
};

TEST(CliRecordFile, AStationThatCannotWriteItsRecordServesNoMeter) {
    for (const RefusalCase& c : kRefusals) {
        SCOPED_TRACE(c.name);
        CliRig rig(kMeter);
        ASSERT_EQ(rig.shell(std::string("echo proof >proof.jsonl && ") + c.plant), 0);
        const CliResult result = rig.run(std::string("station --count 1 --record ") + c.record);
        EXPECT_EQ(result.exitCode, 18) << result.out << result.err;
        EXPECT_EQ(rig.countTrace("FT_SetDtr"), 0) << "a meter was reset";
        EXPECT_TRUE(contains(result.err, c.record) && contains(result.err, c.reason)) << result.err;
        EXPECT_EQ(fileText(rig.path("proof.jsonl")), "proof\n");
    }
}

// Without SIGXFSZ ignored, the first write past `ulimit -f` ends the program with that signal.
TEST(CliRecordFile, AWritePastTheFileSizeLimitIsAWarningNotTheEnd) {
    CliRig rig(kMeter);
    const std::string full(256 * 1024, 'x');
    writeFile(rig.path("full.log"), full + "\n");
    const int status = rig.shell("ulimit -f 128 && " + rig.commandLine("--log full.log list") +
                                 " >out.txt 2>err.txt");
    const std::string err = fileText(rig.path("err.txt"));
    EXPECT_EQ(status, 0) << err;
    EXPECT_TRUE(contains(err, "could not write the log full.log")) << err;
    EXPECT_EQ(fileText(rig.path("full.log")), full + "\n");
}

// A record that reaches the file-size limit while the station runs: no signal ends it, the meter
// under way finishes, no new meter starts, every port is closed, and it ends with 18.
TEST(CliRecordFile, ARecordThatFillsUpMidRunStopsNewMetersAndEndsWith18) {
    CliRig rig(kMeter + "[bridge 1]\nversion = PXR7 V1.02\nmeter_windows = 9000-60000\n");
    const std::string full(2048 * 1024 - 1, 'x');
    writeFile(rig.path("record.jsonl"), full + "\n");
    const int status =
        rig.shell("ulimit -f 2048 && " + rig.commandLine("station --record record.jsonl") +
                  " >out.txt 2>err.txt");
    const std::string err = fileText(rig.path("err.txt"));
    EXPECT_EQ(status, 18) << err;
    EXPECT_TRUE(contains(err, "record.jsonl")) << err;
    EXPECT_EQ(fileText(rig.path("record.jsonl")), full + "\n");
    EXPECT_EQ(rig.countTrace("FT_SetDtr bridge=1"), 0) << "a new meter was started";
    for (int bridge = 0; bridge < 2; ++bridge) {
        const std::vector<std::string> names = callNames(linesOfBridge(rig.trace(), bridge));
        ASSERT_FALSE(names.empty());
        EXPECT_EQ(names.back(), "FT_Close") << bridge;
    }
}

// A meter that never reported a version after its transfer stopped: the outcome event and the
// record line say null, never "", for what nobody knows.
TEST(CliRecordFile, AnAbsentVersionIsNullInTheOutcomeEventAndTheRecord) {
    CliRig rig(kMeter + "stop_after_record = 5\n");
    const CliResult result = rig.run("--json station --count 1 --retries 0 --record record.jsonl");
    EXPECT_EQ(result.exitCode, 17) << result.out << result.err;
    const std::string record = fileText(rig.path("record.jsonl"));
    for (const std::string& text : {result.out, record}) {
        EXPECT_TRUE(contains(text, "\"version_before\":\"PXR7 V1.02\",\"version_after\":null"))
            << text;
        EXPECT_FALSE(contains(text, "\":\"\"")) << "an empty text for an unknown value: " << text;
    }
}

} // namespace

namespace {

// A stream of lines as a bench writes them.
std::vector<std::string> chainedLines(int count) {
    std::vector<std::string> lines;
    for (int seq = 1; seq <= count; ++seq) {
        pxr7::RecordEntry entry;
        entry.bench = "B";
        entry.seq = seq;
        entry.stream = std::string(32, 'c');
        entry.prev = lines.empty() ? "" : pxr7::lineDigest(lines.back());
        entry.result = "ok";
        lines.push_back(pxr7::recordLine(entry));
    }
    return lines;
}

} // namespace

TEST(CliRecordFile, VerifyNamesEachLineChangedRemovedOrInserted) {
    CliRig rig(kMeter);
    std::vector<std::string> lines = chainedLines(8);
    std::string whole;
    for (const std::string& line : lines) {
        whole += line + "\n";
    }
    writeFile(rig.path("whole.jsonl"), whole);
    const CliResult holds = rig.run("history --verify --record whole.jsonl");
    EXPECT_EQ(holds.exitCode, 0) << holds.out << holds.err;
    EXPECT_TRUE(contains(holds.out, "1 stream, 8 lines chained: every chain holds.")) << holds.out;

    const std::string inserted = lines[6]; // a copy of seq 7 after seq 7
    lines[2].replace(lines[2].find("\"ok\""), 4, "\"no\"");
    lines.erase(lines.begin() + 4);
    lines.insert(lines.begin() + 6, inserted);
    std::string edited;
    for (const std::string& line : lines) {
        edited += line + "\n";
    }
    writeFile(rig.path("edited.jsonl"), edited);
    const CliResult json = rig.run("--json history --verify --record edited.jsonl");
    EXPECT_EQ(json.exitCode, 22) << json.out << json.err;
    for (const char* part :
         {"\"event\":\"verify_break\",\"break\":\"changed\",\"stream\":\"cccc",
          "\"seq\":3,\"seq_to\":3,\"line\":3,", "\"break\":\"removed\",\"stream\":\"cccc",
          "\"seq\":5,\"seq_to\":5,\"line\":5,", "\"break\":\"inserted\",\"stream\":\"cccc",
          "\"seq\":7,\"seq_to\":7,\"line\":7,",
          "\"event\":\"verify\",\"source\":\"edited.jsonl\",\"streams\":1,\"chained\":8,"
          "\"unchained\":0,\"unreadable\":0,\"breaks\":3,\"holds\":false"}) {
        EXPECT_TRUE(contains(json.out, part)) << part << " in " << json.out;
    }
    const CliResult text = rig.run("history --verify --record edited.jsonl");
    EXPECT_EQ(text.exitCode, 22);
    EXPECT_TRUE(contains(text.err + text.out, "Line 3 (stream cccc")) << text.out << text.err;
    EXPECT_TRUE(contains(text.err + text.out, ": 3 breaks.")) << text.out << text.err;
}
