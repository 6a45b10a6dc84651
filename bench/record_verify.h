// Walking the record's chain (record_chain.h): every stream's lines in the order they stand, each
// link checked, and what broke said line by line: a line changed (its digest is not the next
// line's prev), lines removed (a gap in seq where the link breaks), a line inserted (its prev is
// a line whose next line is another, or matches nothing in a chain that goes on without it), and
// a stream that ends early (its last line is not the one the bench's counter remembers). Lines
// from before streams carry no chain and are only counted. Pure: the caller brings the lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace pxr7 {

enum class ChainBreak {
    Changed,   // the line's bytes are not those its next line names
    Removed,   // seqs seq..seqTo are missing where the chain breaks
    Inserted,  // the line is outside its stream's chain
    EndsEarly, // the stream's last line is not the one the counter remembers
};

struct ChainFinding {
    ChainBreak kind = ChainBreak::Changed;
    std::string stream;
    std::int64_t seq = 0;   // the line's (Removed: the first missing)
    std::int64_t seqTo = 0; // Removed, EndsEarly: the last missing
    std::size_t line = 0;   // where the line stands (the file's line number, from 1); 0 if none
    std::string why;        // in words
};

struct ChainReport {
    std::vector<ChainFinding> findings; // in the order the lines stand
    std::size_t streams = 0, chained = 0;
    std::size_t unchained = 0;  // record lines written before streams
    std::size_t unreadable = 0; // lines that are no record line
    bool holds() const { return findings.empty(); }
};

// What the bench's counter remembers of the stream it writes: its last seq and line's digest.
struct CounterMemory {
    std::string stream, digest;
    std::int64_t seq = 0;
};

class ChainWalk {
public:
    // The next line as it stands (without its line break); line is where it stands (0: unknown).
    void add(const std::string& bytes, std::size_t line);
    // The findings over every line added; counter, when known, tells how its stream should end.
    ChainReport finish(const std::optional<CounterMemory>& counter = std::nullopt);

    struct Link {
        std::size_t line = 0;
        std::int64_t seq = 0;
        std::string digest, prev;
    };

private:
    std::unordered_map<std::string, std::size_t> streamAt_; // into links_, in order of first sight
    std::vector<std::string> order_;
    std::vector<std::vector<Link>> links_;
    std::size_t unchained_ = 0, unreadable_ = 0;
};

} // namespace pxr7
