#include "record_index.h"

#include "record_json.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

namespace pxr7 {

namespace {

constexpr std::size_t kChunkBytes = 1u << 20;
constexpr std::size_t kEdgeBytes = 4096;
constexpr std::size_t kReadBackWindow = 64u << 10;

std::uint64_t digestOf(const char* bytes, std::size_t length) {
    std::uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (std::size_t i = 0; i < length; ++i) {
        hash = (hash ^ static_cast<unsigned char>(bytes[i])) * 1099511628211ull;
    }
    return hash;
}

bool blank(const char* bytes, std::size_t length) {
    return std::all_of(bytes, bytes + length,
                       [](char c) { return c == ' ' || c == '\t' || c == '\r'; });
}

// Reads up to length bytes at offset; what was there.
std::string readAt(std::istream& file, std::uint64_t offset, std::size_t length) {
    std::string bytes(length, '\0');
    file.clear();
    file.seekg(static_cast<std::streamoff>(offset));
    file.read(&bytes[0], static_cast<std::streamsize>(length));
    bytes.resize(file ? length
                      : static_cast<std::size_t>(std::max<std::streamsize>(0, file.gcount())));
    file.clear();
    return bytes;
}

enum class Presence { Missing, RegularFile, Other };

Presence presenceOf(const std::string& path, std::string& problem) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        return Presence::Missing;
    }
    if (error) {
        problem = path + ": " + error.message();
        return Presence::Other;
    }
    if (status.type() != std::filesystem::file_type::regular) {
        // A FIFO would block the reader: only a regular file is opened.
        problem = path + ": not a regular file";
        return Presence::Other;
    }
    return Presence::RegularFile;
}

} // namespace

RecordIndex::RecordIndex(std::string path) : path_(std::move(path)) {}

void RecordIndex::startOver() {
    lines_ = std::deque<IndexedLine>();
    unreadable_ = 0;
    lineCount_ = 0;
    readEnd_ = 0;
    head_.clear();
    tail_.clear();
    stale_ = false;
    ++generation_;
}

bool RecordIndex::edgesUnchanged(std::istream& file) {
    return readAt(file, 0, head_.size()) == head_ &&
           readAt(file, readEnd_ - tail_.size(), tail_.size()) == tail_;
}

void RecordIndex::takeLine(const char* bytes, std::size_t length, std::uint64_t offset) {
    ++lineCount_;
    if (blank(bytes, length)) {
        return;
    }
    IndexedLine line;
    if (!parseRecordLine(std::string(bytes, length), line.entry, line.host)) {
        ++unreadable_;
        return;
    }
    if (!line.entry.seq) {
        line.entry.seq = kDerivedSeqBase + static_cast<std::int64_t>(lineCount_);
    }
    if (line.entry.bench.empty()) {
        line.entry.bench = line.host;
    }
    line.number = lineCount_;
    line.offset = offset;
    line.length = static_cast<std::uint32_t>(length);
    line.digest = digestOf(bytes, length);
    lines_.push_back(std::move(line));
}

// From readEnd_ to the end of the file in chunks; a line crossing a chunk's end is carried over,
// and one beyond kMaxRecordLineBytes is only measured.
bool RecordIndex::readAppended(std::istream& file, std::string& problem) {
    std::vector<char> chunk(kChunkBytes);
    std::string carried;
    std::uint64_t lineStart = readEnd_;
    std::uint64_t position = readEnd_;
    file.clear();
    file.seekg(static_cast<std::streamoff>(readEnd_));
    while (file) {
        file.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const std::size_t got = static_cast<std::size_t>(file.gcount());
        if (got == 0) {
            break;
        }
        std::size_t start = 0;
        while (const void* found = std::memchr(chunk.data() + start, '\n', got - start)) {
            const std::size_t end =
                static_cast<std::size_t>(static_cast<const char*>(found) - chunk.data());
            const std::uint64_t length = position + end - lineStart;
            if (length > kMaxRecordLineBytes) {
                ++lineCount_;
                ++unreadable_;
            } else if (carried.empty()) {
                takeLine(chunk.data() + start, end - start, lineStart);
            } else {
                carried.append(chunk.data() + start, end - start);
                takeLine(carried.data(), carried.size(), lineStart);
            }
            carried.clear();
            start = end + 1;
            lineStart = position + start;
        }
        if (position + got - lineStart <= kMaxRecordLineBytes) {
            carried.append(chunk.data() + start, got - start);
        } else {
            carried.clear();
        }
        position += got;
    }
    readEnd_ = lineStart; // the lines taken so far stay taken, also after a failed read
    if (file.bad()) {
        problem = path_ + ": cannot be read";
        return false;
    }
    const std::size_t edge =
        static_cast<std::size_t>(std::min<std::uint64_t>(kEdgeBytes, readEnd_));
    head_ = readAt(file, 0, edge);
    tail_ = readAt(file, readEnd_ - edge, edge);
    return true;
}

bool RecordIndex::refresh(std::string& problem) {
    const Presence presence = presenceOf(path_, problem);
    if (presence == Presence::Other) {
        return false;
    }
    if (presence == Presence::Missing) {
        if (readEnd_ > 0 || stale_) {
            startOver();
        }
        return true;
    }
    std::ifstream file(path_, std::ios::binary);
    if (!file) {
        problem = path_ + ": cannot be opened";
        return false;
    }
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    if (stale_ || size < static_cast<std::streamoff>(readEnd_) || !edgesUnchanged(file)) {
        startOver();
    }
    if (size == static_cast<std::streamoff>(readEnd_)) {
        return true;
    }
    return readAppended(file, problem);
}

const IndexedLine* RecordIndex::lineNumbered(std::size_t number) const {
    const auto found =
        std::lower_bound(lines_.begin(), lines_.end(), number,
                         [](const IndexedLine& line, std::size_t n) { return line.number < n; });
    return found != lines_.end() && found->number == number ? &*found : nullptr;
}

LineSpan spanOf(const IndexedLine& line) {
    return {line.offset, line.length, line.digest};
}

bool readSpans(std::istream& file, const std::vector<LineSpan>& spans, const SpanReceiver& take,
               std::string& problem) {
    std::string window;
    std::uint64_t windowStart = 0;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const LineSpan& line = spans[i];
        const std::uint64_t end = line.offset + line.length + 1; // with its "\n"
        if (line.offset < windowStart || end > windowStart + window.size()) {
            windowStart = line.offset;
            window =
                readAt(file, windowStart, std::max<std::size_t>(line.length + 1, kReadBackWindow));
        }
        const std::size_t at = static_cast<std::size_t>(line.offset - windowStart);
        if (!file || end > windowStart + window.size() || window[at + line.length] != '\n' ||
            digestOf(window.data() + at, line.length) != line.digest) {
            problem = "the record changed while it was read";
            return false;
        }
        take(i, window.substr(at, line.length));
    }
    return true;
}

bool RecordIndex::readBack(const std::vector<const IndexedLine*>& which, const LineReceiver& take,
                           std::string& problem) {
    std::ifstream file(path_, std::ios::binary);
    std::vector<LineSpan> spans;
    spans.reserve(which.size());
    for (const IndexedLine* line : which) {
        spans.push_back(spanOf(*line));
    }
    const bool read = readSpans(
        file, spans, [&](std::size_t i, const std::string& bytes) { take(*which[i], bytes); },
        problem);
    stale_ = stale_ || !read;
    return read;
}

} // namespace pxr7
