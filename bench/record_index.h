// The record held as an index of its lines, for answering many questions about a file that only
// grows: each refresh reads just what was appended since the last one. A line is kept as where
// it stands in the file and what it says (its entry); its bytes are read back when asked for, so
// a record of 100,000 lines costs a few tens of megabytes, not a copy of the file. One thread at
// a time: a reader that shares it guards it (the deque only grows until the index starts over,
// so positions into it hold while generation() stays the same).
#pragma once

#include "record.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace pxr7 {

// Lines written before lines had a seq are numbered by where they stand: kDerivedSeqBase plus
// their line number, negative, rising in file order and never a seq that was written. Their
// bench is their host.
constexpr std::int64_t kDerivedSeqBase = -(std::int64_t{1} << 40);

struct IndexedLine {
    std::size_t number = 0;   // in the file, from 1; blank and unreadable lines count too
    std::uint64_t offset = 0; // of its first byte
    std::uint32_t length = 0; // without its "\n"
    std::uint64_t digest = 0; // of its bytes: a line read back must be the line indexed
    RecordEntry entry;        // its seq and bench always set, derived ones for old lines
    std::string host;
};

// Where a line stands and what its bytes hash to: enough to read it back and know it is the
// line indexed, without the index at hand.
struct LineSpan {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
    std::uint64_t digest = 0;
};
LineSpan spanOf(const IndexedLine& line);

using SpanReceiver = std::function<void(std::size_t which, const std::string& bytes)>;
// Reads the spans' bytes from file (a handle of the reader's own, opened binary), in the order
// given, and hands each with its position in spans to take. False, with the reason, when the
// file no longer holds one of them as it was indexed.
bool readSpans(std::istream& file, const std::vector<LineSpan>& spans, const SpanReceiver& take,
               std::string& problem);

// Lines longer than this are counted unreadable without being held: no record line comes near.
constexpr std::size_t kMaxRecordLineBytes = 4u << 20;

class RecordIndex {
public:
    explicit RecordIndex(std::string path);

    // Takes in the whole lines appended since the last call; a last line without its "\n" may
    // still be being written and waits. Starts over when the file is shorter than what was read
    // or its first bytes or those before that point changed (replaced). A missing file is an empty
    // record. False, with the reason in problem, when the file is there but cannot be read (the
    // index stays as it was).
    bool refresh(std::string& problem);

    // The lines parseRecordLine accepts, in file order.
    const std::deque<IndexedLine>& lines() const { return lines_; }
    // Other non-blank lines.
    std::size_t unreadable() const { return unreadable_; }
    // Changes whenever the index starts over: positions into lines() from before are void.
    std::uint64_t generation() const { return generation_; }
    // The record line with that number in the file; nullptr for a blank, unreadable or absent one.
    const IndexedLine* lineNumbered(std::size_t number) const;
    const std::string& path() const { return path_; }
    // The file no longer holds what was indexed (a reader of spans found so): the next refresh
    // starts over.
    void markStale() { stale_ = true; }

    using LineReceiver = std::function<void(const IndexedLine&, const std::string&)>;
    // Reads the lines' bytes back from the file, in the order given, and hands each to take.
    // False, with the reason, when the file no longer holds one of them as indexed: the next
    // refresh then starts over.
    bool readBack(const std::vector<const IndexedLine*>& which, const LineReceiver& take,
                  std::string& problem);

private:
    void startOver();
    bool edgesUnchanged(std::istream& file);
    void takeLine(const char* bytes, std::size_t length, std::uint64_t offset);
    bool readAppended(std::istream& file, std::string& problem);

    std::string path_;
    std::deque<IndexedLine> lines_; // grows without moving what it holds
    std::size_t unreadable_ = 0;
    std::size_t lineCount_ = 0; // lines read so far, whatever they held
    std::uint64_t readEnd_ = 0; // the end of the last whole line read
    std::string head_, tail_;   // the first bytes and those before readEnd_: a replaced file shows
    std::uint64_t generation_ = 0;
    bool stale_ = false;
};

} // namespace pxr7
