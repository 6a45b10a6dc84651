// The record: one JSON line per finished meter, appended by `station` and `upgrade` to a file
// that only ever grows (docs/json.md). Each line says when, where (host, lead), what came of it
// (ok, current or the stable error word), the versions, and which image and program did it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pxr7 {

struct MeterRun;
struct CounterMemory; // record_verify.h

struct RecordEntry {
    // Together the line's identity: seq never repeats on a bench and rises in file order.
    std::string bench;               // the bench file's name for the bench, else the host's
    std::optional<std::int64_t> seq; // none in lines written before lines had one
    // The chain (record_chain.h): "" in lines written before streams, prev "" in a stream's first.
    std::string stream, prev;
    std::string command; // "station" or "upgrade"
    std::string started; // UTC ISO 8601, e.g. 2026-12-08T09:30:00Z
    std::string finished;
    std::string leadSerial;
    int leadIndex = -1;
    std::string leadLocation;  // "" when unknown
    std::string laneName;      // the lead's name in the bench file; "" when none
    std::string unitId;        // the id the operator gave the unit; "" when none
    std::string operatorName;  // who ran the bench as the unit began; "" when nobody is named
    std::string result;        // "ok", "current", or the stable error word (errorWordFor)
    std::string versionBefore; // "" when the meter did not answer
    std::string versionAfter;
    int attempts = 1;
    std::int32_t recordsSent = 0, recordsTotal = 0;
    // Each transfer's own end, in order: its result word and the records it sent.
    struct Attempt {
        std::string result;
        std::int32_t recordsSent = 0;
    };
    std::vector<Attempt> attemptResults;
    int furthestAttempt = 0; // the attempt that sent the most records; 0: none sent any
    std::int32_t furthestRecords = 0;
    double seconds = 0;
};

std::string utcNow(); // ISO 8601, seconds

// The record's name in the program's state folder.
constexpr char kRecordFileName[] = "record.jsonl";
// The file a command writes or reads: given when it is not empty, otherwise fileName in the
// program's state folder: $XDG_STATE_HOME/pxr7/ (~/.local/state/pxr7/ when unset or not
// absolute), %LOCALAPPDATA%\pxr7\ on Windows; "" when the environment names no home.
std::string resolveStatePath(const std::string& given, const char* fileName);
// The program's folders: State as above; Config for the settings a person writes:
// $XDG_CONFIG_HOME/pxr7/ (~/.config/pxr7/ when unset or not absolute), %APPDATA%\pxr7\ on
// Windows. given, when not empty, wins as for resolveStatePath.
enum class ProgramFolder { State, Config };
std::string resolveProgramPath(ProgramFolder folder, const std::string& given,
                               const char* fileName);
// resolveStatePath("", kRecordFileName).
std::string defaultRecordPath();

// One JSON line (schema 1, no newline): the entry plus host, image SHA-256 and declared
// version, program version and backend in use, filled in here. Unknown texts are null. The
// line's keys are listed once, in record_json.cpp, which also reads the line back.
std::string recordLine(const RecordEntry& entry);

// Whether appending may make the missing folders on the way to the file: the record's
// default place is the program's own state folder; a --log file goes where its user said.
enum class MissingFolders { Make, Refuse };

// Appends line + "\n" to the file at path with one write (O_APPEND), then fsync; the record
// and the run log both go through here. Missing folders are made (0700) if folders says so,
// and a missing file (0600); existing ones keep their modes. A line left torn by a crash is
// closed with "\n" first. False, with the reason in problem, when the line is not on disk
// whole:
//  - path is empty, a symbolic link (POSIX), a FIFO, a folder or anything but a regular
//    file: refused before anything is written, without waiting on it;
//  - a folder or the file cannot be made or opened: the system's reason;
//  - the write fails or is short (a full disk, the file-size limit): whatever part of it went
//    in is cut off again, so the file ends where it did, and the reason says which;
//  - fsync or close fails: the line is in the file, but perhaps not on disk.
bool appendLine(const std::string& path, const std::string& line, MissingFolders folders,
                std::string& problem);
// appendLine for the record: its folders are made.
bool appendRecord(const std::string& path, const std::string& line, std::string& problem);

// The seq counter of the bench: record.seq in the program's state folder, or recordPath +
// ".seq" when the environment names none.
std::string seqCounterPath(const std::string& recordPath);

// Appends the entry's line to the record with the bench's next seq, under an exclusive lock on
// the counter file held from reading the counter to writing it back: seq is one more than both
// the counter and the last seq in the record's tail (a crash after the append and before the
// counter was written must not give that seq again). The counter also keeps the bench's stream
// and the digest of the line it wrote last (record_chain.h): the line carries that stream and,
// as prev, the digest of the record's last line when that is the line the counter remembers (or
// one appended after it whose counter write a crash cut off); otherwise (a new or lost counter,
// a record replaced, restored or edited) a new stream starts with this line, without prev.
// entry.bench, when "", becomes the host's name; entry.seq, stream and prev are set as written.
// False, with the reason, when the counter cannot be locked, read or written or the line not
// appended (appendRecord): then no line has a seq that was guessed.
bool appendNumberedRecord(const std::string& recordPath, const std::string& counterPath,
                          RecordEntry& entry, std::string& problem);
// What the counter at counterPath remembers of its stream's end; false when it cannot be read or
// remembers no stream (made before streams, or never written).
bool readCounterMemory(const std::string& counterPath, CounterMemory& memory);

// appendNumberedRecord with seqCounterPath(recordPath).
bool appendRecordEntry(const std::string& recordPath, RecordEntry& entry, std::string& problem);

// Whether appendRecord could append to path now: makes the folders and the file as it does
// and opens the file the same way, but writes nothing. False, with the reason in problem,
// where appendRecord would refuse or fail to open. A full disk is not seen here.
bool checkRecordWritable(const std::string& path, std::string& problem);
// checkRecordWritable, and the seq counter at counterPath can be made, locked and read: a
// station finds a garbled or locked-out counter before its first meter, not after.
bool checkNumberedRecordWritable(const std::string& recordPath, const std::string& counterPath,
                                 std::string& problem);

// The entry for a meter's run: its lead (with its location where the run knows it), versions,
// attempts, records and time; result its resultWord; finished now, started the run's seconds
// before.
RecordEntry recordEntryFor(const MeterRun& run, const char* command);

// A D2XX location id as the record shows it: "0x" and eight hex digits.
std::string locationText(std::uint32_t location);

} // namespace pxr7
