// The record in process: lines that survive the round trip whatever a meter says, appends that
// stay whole when two processes share the file and never touch what is there, a FIFO refused
// at once, and the history read from a record somebody has mangled.
#include "history.h"
#include "record.h"
#include "record_json.h"
#include "rig_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <sstream>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pxr7 {
namespace {

RecordEntry sampleEntry(const std::string& serial, const std::string& result) {
    RecordEntry entry;
    entry.command = "station";
    entry.started = "2026-12-08T09:30:00Z";
    entry.finished = "2026-12-08T09:30:41Z";
    entry.leadSerial = serial;
    entry.leadIndex = 3;
    entry.leadLocation = "0x01200000";
    entry.result = result;
    entry.versionBefore = "PXR7 V1.02";
    entry.versionAfter = "PXR7 V1.03";
    entry.attempts = 2;
    entry.recordsSent = 314;
    entry.recordsTotal = 314;
    entry.seconds = 40.5;
    return entry;
}

TEST(Record, LineCarriesEveryFieldAndReadsBackTheSameEvenForHostileTexts) {
    RecordEntry entry = sampleEntry("PX\"7\\A\n0", "transfer_stopped");
    entry.versionBefore = std::string("V\x01\x7f\xff ok\"}", 8);
    entry.versionAfter.clear();
    const std::string line = recordLine(entry);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    FlatObject object;
    ASSERT_TRUE(parseFlatObject(line, object)) << line;
    for (const char* key : {"schema", "host", "image_sha256", "image_version", "program_version",
                            "backend", "lead_location", "attempts", "duration_s"}) {
        EXPECT_EQ(object.count(key), 1u) << key;
    }
    EXPECT_EQ(object["image_sha256"].text.size(), 64u);
    EXPECT_EQ(object["version_after"].text, "null") << "an unknown version is null";
    RecordEntry back;
    std::string host;
    ASSERT_TRUE(parseRecordLine(line, back, host));
    EXPECT_EQ(recordLine(back), line);
}

TEST(Record, FlatReaderRefusesWhatIsNotOneFlatObject) {
    for (const char* bad : {"", "{", "{\"a\":1", "{\"a\":{}}", "{\"a\":[1]}", "[1]", "{\"a\":1}x",
                            "{\"a\" 1}", "{\"a\":\"\\u12\"}", "{\"a\":\"x}", "{\"a\":tru}",
                            "{\"a\":1,}", "{\"a\":\"\x01\"}", "{\"a\":-}"}) {
        FlatObject object;
        EXPECT_FALSE(parseFlatObject(bad, object)) << bad;
    }
    FlatObject object;
    ASSERT_TRUE(parseFlatObject(" { \"a\" : -1.5e3 , \"b\":null,\"c\":\"\\u00e9\\/\"} ", object));
    EXPECT_EQ(object["a"].text, "-1.5e3");
    EXPECT_EQ(object["c"].text, "\xe9/");
}

TEST(Record, DefaultPathFollowsTheStateHome) {
    const char* home = std::getenv("HOME");
    const std::string savedHome = home != nullptr ? home : "";
    setenv("HOME", "/home/bench", 1);
    setenv("XDG_STATE_HOME", "/var/state", 1);
    EXPECT_EQ(defaultRecordPath(), "/var/state/pxr7/record.jsonl");
    setenv("XDG_STATE_HOME", "relative", 1);
    EXPECT_EQ(defaultRecordPath(), "/home/bench/.local/state/pxr7/record.jsonl");
    unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(defaultRecordPath(), "/home/bench/.local/state/pxr7/record.jsonl");
    setenv("HOME", savedHome.c_str(), 1);
}

TEST(RecordFile, TwoProcessesAppendingAtOnceLeaveEveryLineWholeAndTheOldOnesAlone) {
    simrig::ScratchFolder folder;
    const std::string path = folder.path("state/pxr7/record.jsonl");
    const std::string old = "{\"schema\":1,\"result\":\"ok\"}\n{\"torn\":";
    std::string problem;
    ASSERT_TRUE(appendRecord(path, "{\"schema\":1,\"result\":\"ok\"}", problem)) << problem;
    simrig::writeFile(path, old);
    constexpr int kLines = 400;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    const std::string who = child == 0 ? "child" : "parent";
    bool allWritten = true;
    for (int i = 0; i < kLines; ++i) {
        RecordEntry entry = sampleEntry(who + std::to_string(i), "ok");
        entry.versionBefore = std::string(300, 'x');
        allWritten = appendRecord(path, recordLine(entry), problem) && allWritten;
    }
    if (child == 0) {
        _exit(allWritten ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(allWritten && WIFEXITED(status) && WEXITSTATUS(status) == 0) << problem;
    const std::string text = simrig::fileText(path);
    EXPECT_EQ(text.compare(0, old.size(), old), 0) << "what was there stays as it was";
    std::istringstream record(text);
    const RecordHistory history = summariseRecord(record, 0);
    EXPECT_EQ(history.entries, 1 + 2 * kLines) << "every line whole, the torn one closed";
    EXPECT_EQ(history.unreadable, 1);
}

TEST(RecordFile, FifoAndFoldersAreRefusedAtOnce) {
    simrig::ScratchFolder folder;
    const std::string fifo = folder.path("record.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string problem;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(appendRecord(fifo, "{}", problem));
    EXPECT_EQ(problem, "not a regular file");
    EXPECT_FALSE(appendRecord(folder.folder(), "{}", problem));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_FALSE(appendRecord("", "{}", problem));
}

TEST(History, CountsPerLeadKeepsTheLastEntriesAndSkipsWhatItCannotRead) {
    std::string text;
    const std::pair<const char*, const char*> runs[] = {
        {"PX7A0000", "ok"}, {"PX7A0001", "current"}, {"PX7A0000", "transfer_stopped"},
        {"PX7A0000", "ok"}, {"PX7A0001", "ok"},
    };
    for (const auto& run : runs) {
        text += recordLine(sampleEntry(run.first, run.second)) + "\n";
    }
    RecordEntry elsewhere = sampleEntry("PX7A0000", "ok");
    elsewhere.leadLocation = "0x01300000";
    text += recordLine(elsewhere) + "\n\n" + "{\"schema\":2,\"result\":\"ok\"}\n" +
            "{\"schema\":1,\"lead_serial\":\"X\"}\n" + "garbage\n" +
            recordLine(sampleEntry("PX7A0001", "ok")).substr(0, 40);
    std::istringstream record(text);
    const RecordHistory history = summariseRecord(record, 3);
    EXPECT_EQ(history.entries, 6);
    EXPECT_EQ(history.unreadable, 4);
    ASSERT_EQ(history.leads.size(), 3u) << "a serial in another place is another lead";
    const LeadHistory& first = history.leads[0];
    EXPECT_EQ(first.serial, "PX7A0000");
    EXPECT_EQ(first.ok + first.current * 10 + first.failed * 100, 102);
    EXPECT_EQ(history.leads[1].current, 1);
    EXPECT_EQ(history.leads[1].last.result, "ok");
    ASSERT_EQ(history.last.size(), 3u);
    EXPECT_EQ(history.last[0].result, "ok");
    EXPECT_EQ(history.last[2].leadLocation, "0x01300000");
}

} // namespace
} // namespace pxr7
