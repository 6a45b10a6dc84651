#include "record_download.h"

#include "record_export.h"

#include <fstream>

namespace pxr7 {

namespace {

constexpr std::size_t kPartLines = 1000;
constexpr std::uint64_t kPartBytes = 64u << 10;

struct Download {
    std::shared_ptr<SharedRecord> record;
    std::vector<std::uint32_t> positions;
    std::uint64_t generation = 0;
    DownloadKind kind = DownloadKind::Csv;
    CsvCells cells = CsvCells::Safe;
    bool started = false;
    std::size_t next = 0; // the first position not yet sent
};

// The spans of the next part, and the file's path; false when the index started over since.
bool nextSpans(Download& download, std::vector<LineSpan>& spans, std::string& path) {
    std::lock_guard<std::mutex> lock(download.record->mutex);
    const RecordIndex& index = download.record->index;
    if (index.generation() != download.generation) {
        return false;
    }
    std::uint64_t bytes = 0;
    for (std::size_t at = download.next;
         at < download.positions.size() && spans.size() < kPartLines && bytes < kPartBytes; ++at) {
        spans.push_back(spanOf(index.lines()[download.positions[at]]));
        bytes += spans.back().length;
    }
    path = index.path();
    return true;
}

void markStale(Download& download) {
    std::lock_guard<std::mutex> lock(download.record->mutex);
    if (download.record->index.generation() == download.generation) {
        download.record->index.markStale();
    }
}

Chunk nextPart(Download& download, std::string& chunk) {
    if (!download.started && download.kind == DownloadKind::Csv) {
        chunk += recordCsvHeader();
    }
    download.started = true;
    std::vector<LineSpan> spans;
    std::string path, problem;
    if (!nextSpans(download, spans, path)) {
        return Chunk::Failed;
    }
    if (!spans.empty()) {
        std::ifstream file(path, std::ios::binary);
        const bool read = readSpans(
            file, spans,
            [&](std::size_t, const std::string& line) {
                if (download.kind == DownloadKind::Csv) {
                    appendRecordCsvRow(line, chunk, download.cells);
                } else {
                    chunk += line;
                    chunk += '\n';
                }
            },
            problem);
        if (!read) {
            markStale(download);
            return Chunk::Failed;
        }
    }
    download.next += spans.size();
    return download.next == download.positions.size() ? Chunk::Done : Chunk::More;
}

} // namespace

BodyChunks downloadChunks(std::shared_ptr<SharedRecord> record,
                          std::vector<std::uint32_t> positions, std::uint64_t generation,
                          DownloadKind kind, CsvCells cells) {
    auto download = std::make_shared<Download>();
    download->record = std::move(record);
    download->positions = std::move(positions);
    download->generation = generation;
    download->kind = kind;
    download->cells = cells;
    return [download](std::string& chunk) { return nextPart(*download, chunk); };
}

} // namespace pxr7
