// The record line's seq: unique and rising in file order with two writers at once, carried on
// after a restart, a lost counter or a crash before the counter was written, and never guessed
// when the counter cannot be used.
#include "host_name.h"
#include "json_text.h"
#include "record.h"
#include "record_json.h"
#include "rig_files.h"
#include "unit_ledger.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace pxr7 {
namespace {

std::string lineWith(const char* seq) {
    return std::string("{\"schema\":1,\"bench\":\"b\",\"seq\":") + seq + ",\"result\":\"ok\"}\n";
}

// Every line's seq in file order; 0 for a line without one.
std::vector<std::int64_t> seqsOf(const std::string& path) {
    std::vector<std::int64_t> seqs;
    std::istringstream text(simrig::fileText(path));
    for (std::string line; std::getline(text, line);) {
        RecordEntry entry;
        std::string host;
        seqs.push_back(parseRecordLine(line, entry, host) && entry.seq ? *entry.seq : 0);
    }
    return seqs;
}

TEST(RecordSeq, TwoWritersAtOnceGetUniqueSeqsRisingInFileOrder) {
    simrig::ScratchFolder folder;
    const std::string record = folder.path("r.jsonl"), counter = folder.path("state/record.seq");
    constexpr int kLines = 200;
    bool ok[2] = {true, true};
    auto writer = [&](int who) {
        for (int i = 0; i < kLines; ++i) {
            RecordEntry entry;
            entry.result = "ok";
            entry.bench = "B";
            std::string problem;
            ok[who] = appendNumberedRecord(record, counter, entry, problem) && ok[who];
        }
    };
    std::thread first(writer, 0), second(writer, 1);
    first.join();
    second.join();
    EXPECT_TRUE(ok[0] && ok[1]);
    const std::vector<std::int64_t> seqs = seqsOf(record);
    ASSERT_EQ(seqs.size(), 2u * kLines);
    for (std::size_t i = 0; i < seqs.size(); ++i) {
        EXPECT_EQ(seqs[i], static_cast<std::int64_t>(i + 1)) << "line " << i + 1;
    }
    // The seq first, then the stream and its last line's digest.
    EXPECT_EQ(simrig::fileText(counter).rfind("400 ", 0), 0u);
    struct stat status {};
    ASSERT_EQ(stat(counter.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u) << "private, as the record";
}

TEST(RecordSeq, TheLedgerWritesTheBenchItIsGivenElseTheHost) {
    simrig::ScratchFolder folder;
    const std::string record = folder.path("r.jsonl");
    // A state folder of its own: the counter in the tests' shared one moves as other tests
    // write their records beside this one.
    const char* const shared = std::getenv("XDG_STATE_HOME");
    const std::string sharedState = shared ? shared : "";
    setenv("XDG_STATE_HOME", folder.path("state").c_str(), 1);
    for (const std::string& bench : std::vector<std::string>{"Line 3", hostName()}) {
        UnitLedger ledger(record, "station", bench == hostName() ? "" : bench);
        MeterRun run;
        std::string problem;
        EXPECT_TRUE(ledger.close(ledger.open(run, std::nullopt), run, problem)) << problem;
        const std::string text = simrig::fileText(record);
        EXPECT_EQ(parseJsonLine(text.substr(text.rfind('{')))["bench"], bench);
    }
    const std::vector<std::int64_t> seqs = seqsOf(record);
    EXPECT_TRUE(seqs.size() == 2 && seqs[0] > 0 && seqs[1] == seqs[0] + 1);
    if (shared) {
        setenv("XDG_STATE_HOME", sharedState.c_str(), 1);
    } else {
        unsetenv("XDG_STATE_HOME");
    }
}

TEST(RecordSeq, CarriesOnAfterRestartsAndLostCountersAndRefusesToGuess) {
    const struct {
        const char* name;
        std::string record;  // "" for none
        const char* counter; // nullptr for none
        std::int64_t next;   // 0: the append is refused and nothing written
    } cases[] = {
        {"first line", "", nullptr, 1},
        {"restart", lineWith("1") + lineWith("2"), "2\n", 3},
        {"counter deleted", lineWith("6") + lineWith("7") + "{\"torn", nullptr, 8},
        {"crash before the counter was written", lineWith("5") + lineWith("6"), "5\n", 7},
        {"counter ahead (another record file)", lineWith("3"), "10\n", 11},
        {"highest in the tail wins", lineWith("9") + lineWith("4"), "", 10},
        {"old lines only", "{\"schema\":1,\"result\":\"ok\"}\n", nullptr, 1},
        {"hand-written seqs that are none", lineWith("-4") + lineWith("1.5"), nullptr, 1},
        {"counter garbage", lineWith("3"), "12ab\n", 0},
        {"counter too long", "", "123456789012345678901234567890123\n", 0},
        {"no seq left", "", "9223372036854775806\n", 0},
    };
    for (const auto& c : cases) {
        simrig::ScratchFolder folder;
        const std::string record = folder.path("r.jsonl"), counter = folder.path("r.seq");
        if (!c.record.empty()) {
            simrig::writeFile(record, c.record);
        }
        if (c.counter != nullptr) {
            simrig::writeFile(counter, c.counter);
        }
        RecordEntry entry;
        entry.result = "ok";
        std::string problem;
        // The station's check before its first meter finds every counter the append cannot read.
        EXPECT_EQ(checkNumberedRecordWritable(record, counter, problem), c.next != 0) << c.name;
        const bool appended = appendNumberedRecord(record, counter, entry, problem);
        EXPECT_EQ(appended, c.next != 0) << c.name << ": " << problem;
        if (c.next == 0) {
            EXPECT_EQ(simrig::fileText(record), c.record) << c.name;
            EXPECT_NE(problem.find("seq counter"), std::string::npos) << c.name << ": " << problem;
            continue;
        }
        EXPECT_EQ(seqsOf(record).back(), c.next) << c.name;
        EXPECT_EQ(simrig::fileText(counter).rfind(std::to_string(c.next) + " ", 0), 0u) << c.name;
        EXPECT_EQ(entry.bench, hostName()) << c.name;
    }
}

TEST(RecordSeq, ACounterOrRecordThatIsNoRegularFileStopsTheAppend) {
    simrig::ScratchFolder folder;
    const std::string record = folder.path("r.jsonl");
    ASSERT_EQ(symlink(record.c_str(), folder.path("link.seq").c_str()), 0);
    ASSERT_EQ(mkdir(folder.path("dir.seq").c_str(), 0700), 0);
    RecordEntry fifoEntry;
    std::string fifoProblem;
    ASSERT_EQ(mkfifo(folder.path("fifo.jsonl").c_str(), 0600), 0);
    EXPECT_FALSE(appendNumberedRecord(folder.path("fifo.jsonl"), folder.path("r.seq"), fifoEntry,
                                      fifoProblem))
        << "a FIFO as the record is refused, not waited on";
    EXPECT_EQ(fifoProblem, "not a regular file");
    for (const char* counter : {"link.seq", "dir.seq", ""}) {
        RecordEntry entry;
        entry.result = "ok";
        std::string problem;
        const std::string path = *counter != '\0' ? folder.path(counter) : "";
        EXPECT_FALSE(appendNumberedRecord(record, path, entry, problem)) << counter;
        EXPECT_FALSE(entry.seq.has_value()) << counter;
        EXPECT_FALSE(simrig::fileExists(record)) << counter;
    }
}

} // namespace
} // namespace pxr7
