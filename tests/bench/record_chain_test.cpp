// The record's chain: each line names its stream and the digest of the line before it; a counter
// that started again, a record replaced or restored starts a new stream, a crash between the
// append and the counter's write does not; and the walk names each line changed, removed or
// inserted afterwards.
#include "record.h"
#include "record_chain.h"
#include "record_json.h"
#include "record_verify.h"
#include "rig_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

namespace pxr7 {
namespace {

std::vector<std::string> linesOf(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream text(simrig::fileText(path));
    for (std::string line; std::getline(text, line);) {
        lines.push_back(line);
    }
    return lines;
}

RecordEntry entryOf(const std::string& line) {
    RecordEntry entry;
    std::string host;
    EXPECT_TRUE(parseRecordLine(line, entry, host)) << line;
    return entry;
}

bool append(const std::string& record, const std::string& counter, const char* result = "ok") {
    RecordEntry entry;
    entry.result = result;
    entry.bench = "B";
    std::string problem;
    const bool appended = appendNumberedRecord(record, counter, entry, problem);
    EXPECT_TRUE(appended) << problem;
    return appended;
}

// Every line's prev is the digest of the line before it in its stream, and each stream's first
// line has none.
void expectChained(const std::vector<std::string>& lines) {
    std::map<std::string, std::string> lastOf;
    for (const std::string& line : lines) {
        const RecordEntry entry = entryOf(line);
        ASSERT_TRUE(isStreamId(entry.stream)) << line;
        EXPECT_EQ(entry.prev, lastOf[entry.stream]) << line;
        lastOf[entry.stream] = lineDigest(line);
    }
}

TEST(RecordChain, TwoWritersAtOnceMakeOneUnbrokenStream) {
    simrig::ScratchFolder folder;
    const std::string record = folder.path("r.jsonl"), counter = folder.path("r.seq");
    auto writer = [&] {
        for (int i = 0; i < 100; ++i) {
            append(record, counter);
        }
    };
    std::thread first(writer), second(writer);
    first.join();
    second.join();
    const std::vector<std::string> lines = linesOf(record);
    ASSERT_EQ(lines.size(), 200u);
    expectChained(lines);
    EXPECT_EQ(entryOf(lines.front()).stream, entryOf(lines.back()).stream);
    EXPECT_EQ(lines.front().find("\"prev\""), std::string::npos) << "the first line has no prev";
    EXPECT_EQ(simrig::fileText(counter),
              "200 " + entryOf(lines.back()).stream + " " + lineDigest(lines.back()) + "\n");
    CounterMemory memory;
    ASSERT_TRUE(readCounterMemory(counter, memory));
    EXPECT_EQ(memory.seq, 200);
    EXPECT_EQ(memory.digest, lineDigest(lines.back()));
}

TEST(RecordChain, ANewStreamWhenTheRecordIsNotWhatTheCounterRemembers) {
    const struct {
        const char* name;
        // Done to the record (and counter) of two lines before the third is appended.
        void (*change)(const std::string& record, const std::string& counter);
        bool sameStream;
    } cases[] = {
        {"nothing", [](const std::string&, const std::string&) {}, true},
        {"counter lost", [](const std::string&, const std::string& c) { std::remove(c.c_str()); },
         false},
        {"counter from before streams",
         [](const std::string&, const std::string& c) { simrig::writeFile(c, "2\n"); }, false},
        {"record replaced",
         [](const std::string& r, const std::string&) { std::remove(r.c_str()); }, false},
        {"record restored from a backup",
         [](const std::string& r, const std::string&) {
             const std::string text = simrig::fileText(r);
             simrig::writeFile(r, text.substr(0, text.find('\n') + 1));
         },
         false},
        {"last line edited",
         [](const std::string& r, const std::string&) {
             std::string text = simrig::fileText(r);
             text.replace(text.rfind("\"ok\""), 4, "\"no\"");
             simrig::writeFile(r, text);
         },
         false},
        {"crash before the counter was written",
         [](const std::string& r, const std::string& c) {
             const std::string before = simrig::fileText(c);
             append(r, c);
             simrig::writeFile(c, before);
         },
         true},
    };
    for (const auto& c : cases) {
        simrig::ScratchFolder folder;
        const std::string record = folder.path("r.jsonl"), counter = folder.path("r.seq");
        append(record, counter);
        append(record, counter);
        const std::string stream = entryOf(linesOf(record).front()).stream;
        c.change(record, counter);
        append(record, counter);
        const std::vector<std::string> lines = linesOf(record);
        const RecordEntry last = entryOf(lines.back());
        EXPECT_EQ(last.stream == stream, c.sameStream) << c.name;
        if (c.sameStream) {
            EXPECT_EQ(last.prev, lineDigest(lines[lines.size() - 2])) << c.name;
        } else {
            EXPECT_EQ(last.prev, "") << c.name;
        }
        EXPECT_TRUE(isStreamId(last.stream)) << c.name;
    }
}

// A stream of n lines as the bench writes them.
std::vector<std::string> streamOf(int n, const std::string& stream = std::string(32, 'a')) {
    std::vector<std::string> lines;
    for (int seq = 1; seq <= n; ++seq) {
        RecordEntry entry;
        entry.bench = "B";
        entry.seq = seq;
        entry.result = "ok";
        entry.stream = stream;
        entry.prev = lines.empty() ? "" : lineDigest(lines.back());
        lines.push_back(recordLine(entry));
    }
    return lines;
}

std::string withPrev(const std::string& line, const std::string& prev, int seq) {
    RecordEntry entry = entryOf(line);
    entry.prev = prev;
    entry.seq = seq;
    entry.result = "inserted";
    return recordLine(entry);
}

struct Expected {
    ChainBreak kind;
    std::size_t line;
    std::int64_t seq;
};

TEST(RecordChain, TheWalkNamesEachLineChangedRemovedOrInserted) {
    const std::vector<std::string> ten = streamOf(10);
    const struct {
        const char* name;
        std::vector<std::string> (*edit)(std::vector<std::string>);
        std::vector<Expected> expected;
    } cases[] = {
        {"untouched", [](std::vector<std::string> l) { return l; }, {}},
        {"line 4 changed",
         [](std::vector<std::string> l) {
             l[3].replace(l[3].find("\"ok\""), 4, "\"no\"");
             return l;
         },
         {{ChainBreak::Changed, 4, 4}}},
        {"line 5 removed",
         [](std::vector<std::string> l) {
             l.erase(l.begin() + 4);
             return l;
         },
         {{ChainBreak::Removed, 5, 5}}},
        {"lines 5 to 7 removed",
         [](std::vector<std::string> l) {
             l.erase(l.begin() + 4, l.begin() + 7);
             return l;
         },
         {{ChainBreak::Removed, 5, 5}}},
        {"the first two removed",
         [](std::vector<std::string> l) {
             l.erase(l.begin(), l.begin() + 2);
             return l;
         },
         {{ChainBreak::Removed, 1, 0}}},
        {"a line inserted with a copied prev and a repeated seq",
         [](std::vector<std::string> l) {
             l.insert(l.begin() + 5, withPrev(l[4], lineDigest(l[4]), 6));
             return l;
         },
         {{ChainBreak::Inserted, 6, 6}}},
        {"a line inserted after its twin",
         [](std::vector<std::string> l) {
             l.insert(l.begin() + 6, withPrev(l[4], lineDigest(l[4]), 6));
             return l;
         },
         {{ChainBreak::Inserted, 7, 6}}},
        {"a line inserted that names no line",
         [](std::vector<std::string> l) {
             l.insert(l.begin() + 3, withPrev(l[2], std::string(64, 'f'), 4));
             return l;
         },
         {{ChainBreak::Inserted, 4, 4}}},
        {"a second first line",
         [](std::vector<std::string> l) {
             l.insert(l.begin() + 8, withPrev(l[0], "", 1));
             return l;
         },
         {{ChainBreak::Inserted, 9, 1}}},
        {"a line copied",
         [](std::vector<std::string> l) {
             l.push_back(l[2]);
             return l;
         },
         {{ChainBreak::Inserted, 11, 3}}},
    };
    for (const auto& c : cases) {
        ChainWalk walk;
        std::size_t number = 0;
        for (const std::string& line : c.edit(ten)) {
            walk.add(line, ++number);
        }
        walk.add("{\"schema\":1,\"bench\":\"B\",\"seq\":99,\"result\":\"ok\"}", ++number);
        walk.add("not a record line", ++number);
        const ChainReport report = walk.finish();
        EXPECT_EQ(report.unchained, 1u) << c.name;
        EXPECT_EQ(report.unreadable, 1u) << c.name;
        ASSERT_EQ(report.findings.size(), c.expected.size()) << c.name;
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            const ChainFinding& found = report.findings[i];
            EXPECT_EQ(found.kind, c.expected[i].kind) << c.name << ": " << found.why;
            EXPECT_EQ(found.line, c.expected[i].line) << c.name << ": " << found.why;
            EXPECT_EQ(found.seq, c.expected[i].seq) << c.name << ": " << found.why;
        }
    }
}

TEST(RecordChain, TheCounterTellsAStreamThatEndsEarly) {
    const std::vector<std::string> lines = streamOf(6);
    const std::string stream(32, 'a');
    const struct {
        const char* name;
        std::size_t kept;
        CounterMemory counter;
        std::vector<ChainBreak> expected;
    } cases[] = {
        {"whole", 6, {stream, lineDigest(lines[5]), 6}, {}},
        {"the last two gone", 4, {stream, lineDigest(lines[5]), 6}, {ChainBreak::EndsEarly}},
        {"the last one changed", 6, {stream, std::string(64, '0'), 6}, {ChainBreak::Changed}},
        {"another stream's counter", 4, {std::string(32, 'b'), std::string(64, '0'), 9}, {}},
    };
    for (const auto& c : cases) {
        ChainWalk walk;
        for (std::size_t i = 0; i < c.kept; ++i) {
            walk.add(lines[i], i + 1);
        }
        const ChainReport report = walk.finish(c.counter);
        ASSERT_EQ(report.findings.size(), c.expected.size()) << c.name;
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_EQ(report.findings[i].kind, c.expected[i]) << c.name;
        }
        if (c.kept == 4 && !c.expected.empty()) {
            EXPECT_EQ(report.findings[0].seq, 5);
            EXPECT_EQ(report.findings[0].seqTo, 6);
        }
    }
}

TEST(RecordChain, StreamIdsAreRandomAndDigestsAreSha256) {
    const std::string first = newStreamId(), second = newStreamId();
    EXPECT_TRUE(isStreamId(first));
    EXPECT_NE(first, second);
    EXPECT_FALSE(isStreamId(first + "0"));
    EXPECT_FALSE(isStreamId(std::string(32, 'G')));
    EXPECT_EQ(lineDigest("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_TRUE(isLineDigest(lineDigest("")));
}

} // namespace
} // namespace pxr7
