// What becomes of each line of a station's page, decided before anything is inserted, from the
// line itself and from what the database already holds under its key and the key before it:
// stored, skipped as a repeat of the same bytes, or kept aside in record_quarantine with the
// reason. A line's key is its stream and seq; a line written before streams keeps its bench and
// seq. Pure: no database here, so the decisions are tested on their own.
#pragma once

#include "json_text.h"
#include "station_client.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace pxr7 {

// Identity texts go into keys and indexes whole: longer ones are no bench of ours.
constexpr std::size_t kMaxBenchBytes = 200;

// The reason words of record_quarantine that the collector reports as a clash.
constexpr char kSeqRepeats[] = "its seq repeats with other bytes";

struct CheckedLine {
    const StationLine* line = nullptr; // with its bytes parsed
    std::string stream, prev, digest;  // stream "" for a line written before streams
    enum class Fate { Store, Repeat, Quarantine } fate = Fate::Store;
    std::string reason; // Quarantine: why
};

// A line's key: (stream, seq), or ("", bench, seq) for a line written before streams.
struct LineKey {
    std::string stream, bench;
    std::int64_t seq = 0;
    bool operator<(const LineKey& other) const {
        return std::tie(stream, bench, seq) < std::tie(other.stream, other.bench, other.seq);
    }
};

// The page's lines with their stream, prev and digest, all still to be stored.
std::vector<CheckedLine> readPageLines(const StationPage& page);

// The keys whose stored digests checkLines needs: each line's, and for a line of a stream the
// one before it.
std::vector<LineKey> keysToLookUp(const std::vector<CheckedLine>& lines);

// Decides each line's fate, in page order: a line too long, with a bench too long or a stream
// or prev that is not one, is quarantined; one whose key is stored with the same digest is a
// repeat, with another a clash (kSeqRepeats); one whose prev is not the digest of the line
// before it in its stream (stored, or stored earlier in this page) is quarantined. A line whose
// predecessor is nowhere is stored: the gap is for history --verify to name.
void checkLines(std::vector<CheckedLine>& lines, const std::map<LineKey, std::string>& stored);

} // namespace pxr7
