// The record in process: lines that survive the round trip whatever a meter says, appends that
// stay whole when two processes share the file and never touch what is there, only a regular
// file of the record's own name written (no link, FIFO or folder), a line that does not fit
// taken back, and the history read from a record somebody has mangled.
#include "history.h"
#include "json_text.h"
#include "record.h"
#include "record_json.h"
#include "rig_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <vector>

#include <sys/resource.h>
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
    entry.versionBefore = std::string("V\x01\x7f\xff ok\"}\xc3", 10);
    entry.versionAfter.clear();
    const std::string line = recordLine(entry);
    for (const char c : line) {
        ASSERT_TRUE(c >= 0x20 && c < 0x7f) << "not one line of printable ASCII: " << line;
    }
    EXPECT_NE(line.find("\"V\\u0001\\u007f\\u00ff ok\\\"}\\u00c3\""), std::string::npos) << line;
    const JsonValue object = parseJsonLine(line);
    ASSERT_TRUE(object.is_object()) << line;
    for (const char* key : {"schema", "host", "image_sha256", "image_version", "program_version",
                            "backend", "lead_location", "attempts", "duration_s"}) {
        EXPECT_EQ(object.count(key), 1u) << key;
    }
    EXPECT_EQ(textOf(object["image_sha256"]).size(), 64u);
    EXPECT_TRUE(object["version_after"].is_null()) << "an unknown version is null, not \"\"";
    RecordEntry back;
    std::string host;
    ASSERT_TRUE(parseRecordLine(line, back, host));
    EXPECT_EQ(back.versionBefore, entry.versionBefore);
    EXPECT_EQ(recordLine(back), line);
}

// The reader takes any schema 1 object with a result, whatever else it holds, and skips the
// rest; nothing it is given makes it throw, crash or recurse without bound.
TEST(Record, ReaderTakesEverySchema1LineAndSkipsTheRest) {
    const std::string deep = "{\"schema\":1,\"result\":\"ok\",\"x\":" + std::string(100000, '[') +
                             std::string(100000, ']') + "}";
    const std::string deepInString =
        "{\"schema\":1,\"result\":\"ok\",\"x\":\"" + std::string(100, '[') + "\\\"\"}";
    const struct {
        std::string line;
        const char* serial; // nullptr: skipped
    } rows[] = {
        {"{\"schema\":1,\"result\":\"ok\",\"lead_serial\":\"A\",\"attempts\":2}", "A"},
        {"{\"schema\":1,\"result\":\"ok\",\"lead_serial\":\"B\",\"extra\":{\"a\":[1,2,{\"b\":null}]"
         "}}",
         "B"},
        {"{\"extra\":[\"x\",[]],\"schema\":1.0,\"result\":\"current\",\"lead_serial\":\"C\"}", "C"},
        {"{\"schema\":1,\"result\":\"ok\",\"lead_serial\":\"\\u00e9\\u0041\\u20ac\"}",
         "\xe9"
         "A\xe2\x82\xac"},
        {deepInString, ""},
        {"{\"schema\":2,\"result\":\"ok\",\"lead_serial\":\"D\"}", nullptr},
        {"{\"schema\":\"1\",\"result\":\"ok\"}", nullptr},
        {"{\"schema\":1,\"lead_serial\":\"E\"}", nullptr},
        {"{\"schema\":1,\"result\":\"ok\",\"lead_ser", nullptr},
        {"{\"schema\":1,\"result\":\"ok\"}x", nullptr},
        {"[{\"schema\":1,\"result\":\"ok\"}]", nullptr},
        {"\"schema\"", nullptr},
        {"{\"schema\":1,\"result\":\"\xff\"}", nullptr},
        {deep, nullptr},
    };
    std::string text;
    int taken = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line.substr(0, 80));
        RecordEntry entry;
        std::string host;
        EXPECT_EQ(parseRecordLine(row.line, entry, host), row.serial != nullptr);
        if (row.serial != nullptr) {
            EXPECT_EQ(entry.leadSerial, row.serial);
            ++taken;
        }
        text += row.line + "\n";
    }
    std::istringstream record(text);
    const RecordHistory history = summariseRecord(record, 10);
    EXPECT_EQ(history.entries, taken);
    EXPECT_EQ(history.unreadable, static_cast<int>(std::size(rows)) - taken);
    ASSERT_EQ(history.last.size(), static_cast<std::size_t>(taken));
    EXPECT_EQ(history.last[0].attempts, 2);
    EXPECT_EQ(history.last[2].result, "current");
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

// Everything in folder, a line each: name, type, mode, a link's target, size.
std::string listing(const std::string& folder) {
    const std::string find = "cd '" + folder + "' && find . -printf '%p %y %m %l %s\\n' | sort";
    std::string text;
    FILE* out = popen(find.c_str(), "r");
    for (char line[512]; out != nullptr && std::fgets(line, sizeof line, out) != nullptr;) {
        text += line;
    }
    return out != nullptr && pclose(out) == 0 ? text : "find failed";
}

struct PlaceCase {
    const char* name;
    const char* plant;   // shell commands run first in a fresh folder
    const char* record;  // the record's path in it; "" for none at all
    const char* refusal; // part of the reason; nullptr: written, and the modes hold
    std::vector<std::pair<const char*, mode_t>> modes;
};

const PlaceCase kPlaces[] = {
    {"NewFoldersAndFileArePrivate",
     "true",
     "a/b/r",
     nullptr,
     {{"a", 0700}, {"a/b", 0700}, {"a/b/r", 0600}}},
    {"AnExistingFileKeepsItsMode",
     "printf '{\"torn\":' >r && chmod 644 r",
     "r",
     nullptr,
     {{"r", 0644}}},
    {"ALinkToAFile", "echo proof >p && ln -s p r", "r", "symbolic link", {}},
    {"ALinkToNothingYet", "ln -s planted r", "r", "symbolic link", {}},
    {"AFifo", "mkfifo r", "r", "not a regular file", {}},
    {"AFolder", "mkdir r", "r", "not a regular file", {}},
    {"AFileWhereAFolderShouldBe", "echo x >p", "p/r", "Not a directory", {}},
    {"NoPathAtAll", "true", "", "--record FILE", {}},
};

// The check and the append agree on every place: a regular file of the record's own name is
// opened, made private if new; anything else is refused without waiting on it or making
// anything, and the check itself writes nothing.
TEST(RecordFile, OnlyARegularFileOfItsOwnNameIsWrittenAndNewOnesArePrivate) {
    const mode_t savedMask = umask(0);
    for (const PlaceCase& c : kPlaces) {
        SCOPED_TRACE(c.name);
        simrig::ScratchFolder folder;
        ASSERT_EQ(std::system(("cd '" + folder.folder() + "' && " + c.plant).c_str()), 0);
        const std::string path = *c.record != '\0' ? folder.path(c.record) : "";
        const std::string before = listing(folder.folder());
        const std::string text = c.refusal == nullptr ? simrig::fileText(path) : "";
        std::string checked, appended;
        EXPECT_EQ(checkRecordWritable(path, checked), c.refusal == nullptr) << checked;
        EXPECT_EQ(appendRecord(path, "{}", appended), c.refusal == nullptr) << appended;
        if (c.refusal != nullptr) {
            EXPECT_NE(checked.find(c.refusal), std::string::npos) << checked;
            EXPECT_EQ(appended, checked);
            EXPECT_EQ(listing(folder.folder()), before) << "nothing made, nothing touched";
            continue;
        }
        EXPECT_EQ(simrig::fileText(path), text + (text.empty() ? "" : "\n") + "{}\n");
        for (const auto& [name, mode] : c.modes) {
            struct stat status {};
            EXPECT_EQ(stat(folder.path(name).c_str(), &status), 0) << name;
            EXPECT_EQ(status.st_mode & 07777, mode) << name;
        }
    }
    umask(savedMask);
}

// A write past the file-size limit (a full disk alike) takes back what part of it went in, so
// the record ends at its last whole line (or as torn as it was), and says why. In a child, so
// the limit stays there.
TEST(RecordFile, AWritePastTheFileSizeLimitLeavesTheRecordAsItWas) {
    const std::string line = recordLine(sampleEntry("PX7A0000", "ok")), whole = line + "\n";
    const struct {
        std::string before;
        rlim_t limit;
    } cases[] = {
        {whole, whole.size() + 40}, {whole, whole.size()}, {whole + "{\"t", whole.size() + 9}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.limit);
        simrig::ScratchFolder folder;
        const std::string path = folder.path("record.jsonl");
        simrig::writeFile(path, c.before);
        int reason[2];
        ASSERT_EQ(pipe(reason), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{c.limit, c.limit};
            std::string problem = setrlimit(RLIMIT_FSIZE, &limit) == 0 ? "" : "no limit set";
            const bool written = problem.empty() && appendRecord(path, line, problem);
            (void)!write(reason[1], problem.data(), problem.size());
            _exit(written ? 1 : 0);
        }
        close(reason[1]);
        char text[512] = "";
        (void)!read(reason[0], text, sizeof text - 1);
        close(reason[0]);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a failure taken for success";
        EXPECT_NE(std::string(text).find("size"), std::string::npos) << text;
        EXPECT_EQ(simrig::fileText(path), c.before);
    }
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
    RecordEntry lookAlike = sampleEntry("PX7A00000x0120", "ok"); // serial + location as above
    lookAlike.leadLocation = "0000";
    text += recordLine(lookAlike) + "\n" + recordLine(elsewhere) + "\n\n" +
            "{\"schema\":2,\"result\":\"ok\"}\n" + "{\"schema\":1,\"lead_serial\":\"X\"}\n" +
            "garbage\n" + recordLine(sampleEntry("PX7A0001", "ok")).substr(0, 40);
    std::istringstream record(text);
    const RecordHistory history = summariseRecord(record, 3);
    EXPECT_EQ(history.entries, 7);
    EXPECT_EQ(history.unreadable, 4);
    ASSERT_EQ(history.leads.size(), 4u) << "a serial in another place is another lead";
    const LeadHistory& first = history.leads[0];
    EXPECT_EQ(first.serial, "PX7A0000");
    EXPECT_EQ(first.ok + first.current * 10 + first.failed * 100, 102);
    EXPECT_EQ(history.leads[1].current, 1);
    EXPECT_EQ(history.leads[1].last.result, "ok");
    ASSERT_EQ(history.last.size(), 3u);
    EXPECT_EQ(history.last[0].result, "ok");
    EXPECT_EQ(history.last[2].leadLocation, "0x01300000");
}

TEST(History, SumsUpPerBenchThenPerLeadAndKeepsOneBenchWhenAsked) {
    struct Run {
        const char *bench, *serial, *result;
    };
    const Run runs[] = {{"east", "PX7A0000", "ok"},
                        {"west", "PX7A0000", "transfer_stopped"},
                        {"east", "PX7A0001", "current"},
                        {"east", "PX7A0000", "ok"}};
    std::string text;
    for (const Run& run : runs) {
        RecordEntry entry = sampleEntry(run.serial, run.result);
        entry.bench = run.bench;
        text += recordLine(entry) + "\n";
    }
    // Written before lines had a bench: its host's.
    text += R"({"schema":1,"host":"old-pc","lead_serial":"PX7A0009","result":"ok"})"
            "\n";
    const auto summary = [&text](const std::string& bench) {
        std::istringstream record(text);
        return summariseRecord(record, 10, "", bench);
    };
    const RecordHistory whole = summary("");
    ASSERT_EQ(whole.benches.size(), 3u);
    const BenchHistory& east = whole.benches[0];
    EXPECT_EQ(east.name, "east");
    EXPECT_EQ(east.ok * 100 + east.current * 10 + east.failed, 210);
    ASSERT_EQ(east.leads.size(), 2u);
    EXPECT_EQ(east.leads[0].ok, 2) << "a bench's lead counts that bench's lines only";
    EXPECT_EQ(whole.benches[1].name, "west");
    ASSERT_EQ(whole.benches[1].leads.size(), 1u);
    EXPECT_EQ(whole.benches[1].leads[0].failed, 1);
    EXPECT_EQ(whole.benches[2].name, "old-pc");
    EXPECT_EQ(whole.leads.size(), 3u) << "leads of every bench, as before";
    EXPECT_EQ(whole.leads[0].ok + whole.leads[0].failed, 3);

    const RecordHistory west = summary("west");
    EXPECT_EQ(west.entries, 1);
    ASSERT_EQ(west.benches.size(), 1u);
    EXPECT_EQ(west.benches[0].name, "west");
    ASSERT_EQ(west.last.size(), 1u);
    EXPECT_EQ(west.last[0].result, "transfer_stopped");
    EXPECT_EQ(summary("old-pc").entries, 1);
    EXPECT_EQ(summary("nowhere").entries, 0);
}

} // namespace
} // namespace pxr7
