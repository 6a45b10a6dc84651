// The record line's seq and link: one counter file per bench, locked from reading it to writing
// it back, so that programs appending at once take turns, each line's seq is one more than any
// before it and its prev is the digest of the line before it in its stream. The record's own
// tail is consulted as well: a line appended just before a crash, whose seq never reached the
// counter, still counts.
#include "record.h"

#include "append_file.h"
#include "host_name.h"
#include "printable.h"
#include "record_chain.h"
#include "record_json.h"
#include "record_open.h"
#include "record_verify.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>

namespace pxr7 {

namespace {

using namespace appendfile;

// Record lines are well under a kilobyte: the tail holds the last several dozen.
constexpr std::size_t kTailBytes = 64u << 10;
// The seq, the stream and the digest of the last line written: "7 STREAM DIGEST\n".
constexpr std::size_t kCounterBytes = 128;

// What the counter remembers: the last seq, and the stream with its last line's digest ("" in
// a counter made before streams, which then starts one).
struct Counted {
    std::int64_t seq = 0;
    std::string stream, digest;
};

// The counter's text: digits, then the stream and digest, and a newline; an empty file (just
// made, or cut short by a crash while it was written) counts 0; digits alone, a counter made
// before streams.
bool parseCounter(const std::string& text, Counted& counted) {
    std::string body = text;
    if (!body.empty() && body.back() == '\n') {
        body.pop_back();
    }
    counted = Counted();
    const std::size_t space = body.find(' ');
    const std::string digits = body.substr(0, space);
    if (digits.size() > 18 || digits.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    counted.seq = digits.empty() ? 0 : std::stoll(digits);
    if (space == std::string::npos) {
        return true;
    }
    const std::size_t second = body.find(' ', space + 1);
    counted.stream = body.substr(space + 1, second == std::string::npos ? 0 : second - space - 1);
    counted.digest = second == std::string::npos ? "" : body.substr(second + 1);
    return isStreamId(counted.stream) && isLineDigest(counted.digest);
}

bool readCounter(int fd, Counted& counted, std::string& problem) {
    char buffer[kCounterBytes + 1];
    errno = 0;
    const long got = readFrom(fd, 0, buffer, sizeof buffer);
    if (got < 0) {
        problem = std::strerror(errno);
        return false;
    }
    if (static_cast<std::size_t>(got) > kCounterBytes ||
        !parseCounter(std::string(buffer, static_cast<std::size_t>(got)), counted)) {
        problem = "it holds no seq";
        return false;
    }
    return true;
}

bool writeCounter(int fd, const Counted& counted, std::string& problem) {
    const std::string text =
        std::to_string(counted.seq) + " " + counted.stream + " " + counted.digest + "\n";
    errno = 0;
    // Opened for appending: cut to nothing, the one write is the whole file.
    if (!truncateTo(fd, 0) || writeOnce(fd, text) != static_cast<long>(text.size()) ||
        !flushToDisk(fd)) {
        problem = errno != 0 ? std::strerror(errno) : "a short write";
        return false;
    }
    return true;
}

// What the record's end says: the highest seq among the whole lines of its last kTailBytes (0
// when none), and its last line's bytes (none when the file is empty or missing).
struct Tail {
    std::int64_t lastSeq = 0;
    std::optional<std::string> lastLine;
};

bool readTail(const std::string& recordPath, Tail& found, std::string& problem) {
    found = Tail();
    // Only a regular file is read (a FIFO would block): anything else the append refuses.
    if (lookAt(recordPath) != Found::RegularFile) {
        return true;
    }
    std::ifstream file(recordPath, std::ios::binary);
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    if (!file || size < 0) {
        problem = "the record cannot be read for its last seq";
        return false;
    }
    const std::streamoff start = std::max<std::streamoff>(0, size - std::streamoff(kTailBytes));
    std::string tail(static_cast<std::size_t>(size - start), '\0');
    file.seekg(start);
    file.read(&tail[0], static_cast<std::streamsize>(tail.size()));
    // The first line is cut unless the tail starts the file.
    std::size_t at = start == 0 ? 0 : tail.find('\n');
    for (at = at == std::string::npos ? tail.size() : at; at < tail.size();) {
        const std::size_t end = std::min(tail.find('\n', at), tail.size());
        RecordEntry entry;
        std::string host;
        found.lastLine = tail.substr(at, end - at);
        if (parseRecordLine(*found.lastLine, entry, host) && entry.seq) {
            found.lastSeq = std::max(found.lastSeq, *entry.seq);
        }
        at = end + 1;
    }
    return true;
}

// The stream the next line goes on, and its prev: the counter's, when the record ends with the
// line the counter remembers, or with a line appended after it whose counter write a crash cut
// off; otherwise the record was replaced, restored or edited, or the counter is new or lost:
// a new stream.
void chainNext(const Counted& counted, const Tail& tail, RecordEntry& entry) {
    entry.stream = newStreamId();
    entry.prev.clear();
    if (counted.stream.empty() || !tail.lastLine) {
        return;
    }
    const std::string lastDigest = lineDigest(*tail.lastLine);
    RecordEntry last;
    std::string host;
    const bool crashedAfter = parseRecordLine(*tail.lastLine, last, host) &&
                              last.stream == counted.stream && last.prev == counted.digest &&
                              last.seq && *last.seq > counted.seq;
    if (lastDigest == counted.digest || crashedAfter) {
        entry.stream = counted.stream;
        entry.prev = lastDigest;
    }
}

// With the counter locked: the next seq and link, the line appended with them, the counter
// written.
bool appendLocked(int counter, const std::string& recordPath, RecordEntry& entry,
                  std::string& problem, std::string& counterProblem) {
    Counted counted;
    Tail tail;
    if (!readCounter(counter, counted, counterProblem) || !readTail(recordPath, tail, problem)) {
        return false;
    }
    const std::int64_t seq = std::max(counted.seq, tail.lastSeq);
    if (seq >= INT64_MAX - 1) {
        counterProblem = "no seq is left";
        return false;
    }
    entry.seq = seq + 1;
    chainNext(counted, tail, entry);
    const std::string line = recordLine(entry);
    if (!appendRecord(recordPath, line, problem)) {
        entry.seq.reset();
        return false;
    }
    if (!writeCounter(counter, {seq + 1, entry.stream, lineDigest(line)}, counterProblem)) {
        counterProblem = "the line is in the record, but: " + counterProblem;
        return false;
    }
    return true;
}

// Opens the counter (its folders made), holds its lock for work and lets it go again; a
// problem work puts in counterProblem is said as the counter's.
bool withLockedCounter(const std::string& counterPath, std::string& problem,
                       const std::function<bool(int, std::string&)>& work) {
    const std::string where = "the seq counter " + printable(counterPath) + ": ";
    long long size = 0;
    std::string counterProblem;
    const int counter = counterPath.empty() ? -1
                                            : openRecordFile(counterPath, MissingFolders::Make,
                                                             size, counterProblem);
    if (counter < 0) {
        problem = counterPath.empty() ? "no place for the seq counter" : where + counterProblem;
        return false;
    }
    bool done = lockWhole(counter);
    if (!done) {
        counterProblem = std::string("cannot be locked: ") + std::strerror(errno);
    } else {
        done = work(counter, counterProblem);
        unlockWhole(counter);
    }
    closeFile(counter);
    if (!counterProblem.empty()) {
        problem = where + counterProblem;
    }
    return done;
}

} // namespace

std::string seqCounterPath(const std::string& recordPath) {
    const std::string inState = resolveProgramPath(ProgramFolder::State, "", "record.seq");
    return !inState.empty() || recordPath.empty() ? inState : recordPath + ".seq";
}

bool appendNumberedRecord(const std::string& recordPath, const std::string& counterPath,
                          RecordEntry& entry, std::string& problem) {
    problem.clear();
    entry.bench = entry.bench.empty() ? hostName() : entry.bench;
    return withLockedCounter(counterPath, problem, [&](int counter, std::string& counterProblem) {
        return appendLocked(counter, recordPath, entry, problem, counterProblem);
    });
}

bool checkNumberedRecordWritable(const std::string& recordPath, const std::string& counterPath,
                                 std::string& problem) {
    if (!checkRecordWritable(recordPath, problem)) {
        return false;
    }
    return withLockedCounter(counterPath, problem, [](int counter, std::string& counterProblem) {
        Counted counted;
        return readCounter(counter, counted, counterProblem);
    });
}

bool readCounterMemory(const std::string& counterPath, CounterMemory& memory) {
    // Only a regular file under its own name, as the append opens it.
    if (counterPath.empty() || lookAt(counterPath) != Found::RegularFile) {
        return false;
    }
    std::ifstream file(counterPath, std::ios::binary);
    std::string text(kCounterBytes + 1, '\0');
    file.read(&text[0], static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    Counted counted;
    if (text.size() > kCounterBytes || !parseCounter(text, counted) || counted.stream.empty()) {
        return false;
    }
    memory = {counted.stream, counted.digest, counted.seq};
    return true;
}

bool appendRecordEntry(const std::string& recordPath, RecordEntry& entry, std::string& problem) {
    return appendNumberedRecord(recordPath, seqCounterPath(recordPath), entry, problem);
}

} // namespace pxr7
