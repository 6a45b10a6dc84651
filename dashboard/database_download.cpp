#include "database_download.h"

#include "record_export.h"

#include <memory>

namespace pxr7 {

namespace {

struct DatabaseDownload {
    PgPool::Lease lease;
    std::vector<StoreLine> rows; // fetched, not yet sent
    bool csv = false;
    CsvCells cells = CsvCells::Safe;
    bool started = false;
};

Chunk nextPart(DatabaseDownload& download, std::string& chunk) {
    if (!download.started && download.csv) {
        chunk += recordCsvHeader();
    }
    download.started = true;
    for (const StoreLine& row : download.rows) {
        if (download.csv) {
            appendRecordCsvRow(row.line, chunk, download.cells);
        } else {
            chunk += row.line;
            chunk += '\n';
        }
    }
    const bool last = download.rows.size() < static_cast<std::size_t>(kExportRows);
    download.rows.clear();
    if (!last && download.lease) {
        const DbStatus status = HistoryStore(download.lease.db()).fetch(kExportRows, download.rows);
        if (!status.ok()) {
            download.lease = PgPool::Lease();
            return Chunk::Failed;
        }
        if (!download.rows.empty()) {
            return Chunk::More;
        }
    }
    download.lease = PgPool::Lease(); // the connection goes back as soon as the rows end
    return Chunk::Done;
}

} // namespace

BodyChunks databaseChunks(PgPool::Lease lease, std::vector<StoreLine> first, bool csv,
                          CsvCells cells) {
    auto download = std::make_shared<DatabaseDownload>();
    download->lease = std::move(lease);
    download->rows = std::move(first);
    download->csv = csv;
    download->cells = cells;
    return [download](std::string& chunk) { return nextPart(*download, chunk); };
}

} // namespace pxr7
