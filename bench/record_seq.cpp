// The record line's seq: one counter file per bench, locked from reading it to writing it back,
// so that programs appending at once take turns and each line's seq is one more than any before
// it. The record's own tail is consulted as well: a line appended just before a crash, whose
// seq never reached the counter, still counts.
#include "record.h"

#include "append_file.h"
#include "host_name.h"
#include "printable.h"
#include "record_json.h"
#include "record_open.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>

namespace pxr7 {

namespace {

using namespace appendfile;

// Record lines are well under a kilobyte: the tail holds the last several dozen.
constexpr std::size_t kTailBytes = 64u << 10;
constexpr std::size_t kCounterBytes = 32;

// The counter's text: digits and a newline; an empty file (just made, or cut short by a
// crash while it was written) counts 0.
bool parseCounter(const std::string& text, std::int64_t& value) {
    std::string digits = text;
    if (!digits.empty() && digits.back() == '\n') {
        digits.pop_back();
    }
    value = 0;
    if (digits.size() > 18 || digits.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    value = digits.empty() ? 0 : std::stoll(digits);
    return true;
}

bool readCounter(int fd, std::int64_t& value, std::string& problem) {
    char buffer[kCounterBytes + 1];
    errno = 0;
    const long got = readFrom(fd, 0, buffer, sizeof buffer);
    if (got < 0) {
        problem = std::strerror(errno);
        return false;
    }
    if (static_cast<std::size_t>(got) > kCounterBytes ||
        !parseCounter(std::string(buffer, static_cast<std::size_t>(got)), value)) {
        problem = "it holds no seq";
        return false;
    }
    return true;
}

bool writeCounter(int fd, std::int64_t value, std::string& problem) {
    const std::string text = std::to_string(value) + "\n";
    errno = 0;
    // Opened for appending: cut to nothing, the one write is the whole file.
    if (!truncateTo(fd, 0) || writeOnce(fd, text) != static_cast<long>(text.size()) ||
        !flushToDisk(fd)) {
        problem = errno != 0 ? std::strerror(errno) : "a short write";
        return false;
    }
    return true;
}

// The highest seq among the whole lines of the record's last kTailBytes; 0 when none.
bool lastSeqInTail(const std::string& recordPath, std::int64_t& last, std::string& problem) {
    last = 0;
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
        if (parseRecordLine(tail.substr(at, end - at), entry, host) && entry.seq) {
            last = std::max(last, *entry.seq);
        }
        at = end + 1;
    }
    return true;
}

// With the counter locked: the next seq, the line appended with it, the counter written.
bool appendLocked(int counter, const std::string& recordPath, RecordEntry& entry,
                  std::string& problem, std::string& counterProblem) {
    std::int64_t counted = 0, last = 0;
    if (!readCounter(counter, counted, counterProblem) ||
        !lastSeqInTail(recordPath, last, problem)) {
        return false;
    }
    const std::int64_t seq = std::max(counted, last);
    if (seq >= INT64_MAX - 1) {
        counterProblem = "no seq is left";
        return false;
    }
    entry.seq = seq + 1;
    if (!appendRecord(recordPath, recordLine(entry), problem)) {
        entry.seq.reset();
        return false;
    }
    if (!writeCounter(counter, seq + 1, counterProblem)) {
        counterProblem = "the line is in the record, but: " + counterProblem;
        return false;
    }
    return true;
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
    if (!lockWhole(counter)) {
        problem = where + "cannot be locked: " + std::strerror(errno);
        closeFile(counter);
        return false;
    }
    const bool appended = appendLocked(counter, recordPath, entry, problem, counterProblem);
    if (!counterProblem.empty()) {
        problem = where + counterProblem;
    }
    unlockWhole(counter);
    closeFile(counter);
    return appended;
}

bool checkNumberedRecordWritable(const std::string& recordPath, const std::string& counterPath,
                                 std::string& problem) {
    if (!checkRecordWritable(recordPath, problem)) {
        return false;
    }
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
    std::int64_t counted = 0;
    bool usable = lockWhole(counter);
    if (!usable) {
        counterProblem = std::string("cannot be locked: ") + std::strerror(errno);
    } else {
        usable = readCounter(counter, counted, counterProblem);
        unlockWhole(counter);
    }
    closeFile(counter);
    if (!usable) {
        problem = where + counterProblem;
    }
    return usable;
}

bool appendRecordEntry(const std::string& recordPath, RecordEntry& entry, std::string& problem) {
    return appendNumberedRecord(recordPath, seqCounterPath(recordPath), entry, problem);
}

} // namespace pxr7
