// The walk: per stream, the lines are taken in the order they stand and joined into chains by
// their links, the link to a line that goes on preferred where two lines name one prev. Each
// chain after the stream's first says, by how it starts, what broke before it.
#include "record_verify.h"

#include "record_chain.h"
#include "record_json.h"

#include <algorithm>

namespace pxr7 {

namespace {

using Link = ChainWalk::Link;

class StreamWalk {
public:
    StreamWalk(const std::string& stream, const std::vector<Link>& links)
        : stream_(stream), links_(links), visited_(links.size(), false) {
        for (std::size_t i = 0; i < links.size(); ++i) {
            byDigest_.emplace(links[i].digest, i);
            if (!links[i].prev.empty()) {
                byPrev_[links[i].prev].push_back(i);
            }
        }
    }

    void walk(std::vector<ChainFinding>& findings) {
        for (std::size_t i = 0; i < links_.size(); ++i) {
            if (visited_[i]) {
                continue;
            }
            const bool inserted = startOf(i, findings);
            for (std::size_t at = i, n = 0; at != kNone; at = next(at), ++n) {
                visited_[at] = true;
                if (inserted && n > 0) {
                    add(findings, ChainBreak::Inserted, at, "it goes on from a line inserted");
                }
            }
            started_ = true;
        }
    }

    // The finding the counter's memory of the stream's end gives, if any.
    void checkEnd(const CounterMemory& counter, std::vector<ChainFinding>& findings) {
        if (links_.empty() || links_.back().digest == counter.digest) {
            return;
        }
        const Link& last = links_.back();
        if (counter.seq > last.seq) {
            ChainFinding found{ChainBreak::EndsEarly,
                               stream_,
                               last.seq + 1,
                               counter.seq,
                               last.line,
                               "the bench's counter remembers seq " + std::to_string(counter.seq) +
                                   ": the lines after seq " + std::to_string(last.seq) +
                                   " are missing"};
            findings.push_back(found);
        } else if (counter.seq == last.seq) {
            add(findings, ChainBreak::Changed, links_.size() - 1,
                "it is not the line the bench's counter remembers");
        }
    }

private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    bool referenced(std::size_t i) const { return byPrev_.count(links_[i].digest) > 0; }

    // The line that goes on from at: one not yet walked that names it, one that goes on itself
    // first, then one whose seq is the next, then the first that stands.
    std::size_t next(std::size_t at) const {
        const auto found = byPrev_.find(links_[at].digest);
        std::size_t best = kNone;
        int bestScore = -1;
        for (std::size_t j : found == byPrev_.end() ? std::vector<std::size_t>() : found->second) {
            const int score = (referenced(j) ? 2 : 0) + (links_[j].seq == links_[at].seq + 1);
            if (!visited_[j] && j != at && score > bestScore) {
                best = j;
                bestScore = score;
            }
        }
        return best;
    }

    void add(std::vector<ChainFinding>& findings, ChainBreak kind, std::size_t i,
             const std::string& why) const {
        findings.push_back({kind, stream_, links_[i].seq, links_[i].seq, links_[i].line, why});
    }

    // The line walked last that stands before i.
    std::size_t lastWalkedBefore(std::size_t i) const {
        for (std::size_t j = i; j-- > 0;) {
            if (visited_[j]) {
                return j;
            }
        }
        return kNone;
    }

    // What a chain that starts at line i says; true when its lines are outside the stream's.
    bool startOf(std::size_t i, std::vector<ChainFinding>& findings) {
        const Link& line = links_[i];
        if (line.prev.empty()) {
            if (started_) {
                add(findings, ChainBreak::Inserted, i, "a second first line of its stream");
            }
            return started_;
        }
        const auto named = byDigest_.find(line.prev);
        if (named != byDigest_.end()) {
            const Link& before = links_[named->second];
            add(findings, ChainBreak::Inserted, i,
                "its prev is the line of seq " + std::to_string(before.seq) +
                    ", whose next line is another" + (repeatsSeq(i) ? "; its seq repeats" : ""));
            return true;
        }
        const std::size_t a = lastWalkedBefore(i);
        if (a == kNone) {
            findings.push_back({ChainBreak::Removed, stream_, 0, line.seq - 1, line.line,
                                "the stream's lines before seq " + std::to_string(line.seq) +
                                    " are missing: its prev names no line"});
            return false;
        }
        return brokenAfter(a, i, findings);
    }

    // A link broken between a, the chain's end, and i, whose prev names no line.
    bool brokenAfter(std::size_t a, std::size_t i, std::vector<ChainFinding>& findings) {
        const Link &before = links_[a], &line = links_[i];
        if (referenced(a) || line.seq <= before.seq) {
            add(findings, ChainBreak::Inserted, i, "outside the chain: its prev names no line");
            return true;
        }
        if (line.seq == before.seq + 1) {
            add(findings, ChainBreak::Changed, a,
                "its digest is not the prev of the next line (seq " + std::to_string(line.seq) +
                    ")");
            return false;
        }
        findings.push_back(
            {ChainBreak::Removed, stream_, before.seq + 1, line.seq - 1, line.line,
             "seq " + std::to_string(before.seq + 1) +
                 (line.seq - 1 > before.seq + 1 ? " to " + std::to_string(line.seq - 1)
                                                : std::string()) +
                 " missing before this line"});
        return false;
    }

    bool repeatsSeq(std::size_t i) const {
        for (std::size_t j = 0; j < links_.size(); ++j) {
            if (j != i && visited_[j] && links_[j].seq == links_[i].seq) {
                return true;
            }
        }
        return false;
    }

    const std::string& stream_;
    const std::vector<Link>& links_;
    std::vector<bool> visited_;
    std::unordered_multimap<std::string, std::size_t> byDigest_;
    std::unordered_map<std::string, std::vector<std::size_t>> byPrev_;
    bool started_ = false;
};

} // namespace

void ChainWalk::add(const std::string& bytes, std::size_t line) {
    RecordEntry entry;
    std::string host;
    if (!parseRecordLine(bytes, entry, host)) {
        ++unreadable_;
        return;
    }
    if (entry.stream.empty()) {
        ++unchained_;
        return;
    }
    const auto found = streamAt_.emplace(entry.stream, links_.size());
    if (found.second) {
        order_.push_back(entry.stream);
        links_.emplace_back();
    }
    links_[found.first->second].push_back(
        {line, entry.seq.value_or(0), lineDigest(bytes), entry.prev});
}

ChainReport ChainWalk::finish(const std::optional<CounterMemory>& counter) {
    ChainReport report;
    report.streams = order_.size();
    report.unchained = unchained_;
    report.unreadable = unreadable_;
    for (std::size_t s = 0; s < order_.size(); ++s) {
        StreamWalk walk(order_[s], links_[s]);
        walk.walk(report.findings);
        if (counter && counter->stream == order_[s]) {
            walk.checkEnd(*counter, report.findings);
        }
        report.chained += links_[s].size();
    }
    std::stable_sort(report.findings.begin(), report.findings.end(),
                     [](const ChainFinding& a, const ChainFinding& b) { return a.line < b.line; });
    return report;
}

} // namespace pxr7
