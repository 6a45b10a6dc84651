// A station's record shared by the requests of several threads and by the exports they leave
// running; and an export's body made a part at a time as it is sent, so that memory stays flat
// whatever the record's size and no request waits for another's export to end.
#pragma once

#include "history_query.h"
#include "http_reply.h"
#include "record_export.h"
#include "record_index.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace pxr7 {

// The index and its questions under one mutex: each request holds it while it refreshes,
// asks and reads back its page; an export holds it only to take the spans of its next part.
struct SharedRecord {
    explicit SharedRecord(std::string path) : index(std::move(path)), query(index) {}
    std::mutex mutex;
    RecordIndex index;
    HistoryQuery query;
};

enum class DownloadKind { Csv, JsonLines };

// The body of an export of the index's lines at positions (taken, under the mutex, while the
// index was at generation): the CSV header row first, then the lines, read back with a file
// handle of its own about 1,000 lines or 64 KiB a part. Failed when the record was replaced or
// no longer holds a line as indexed (the next refresh starts over). It keeps record alive and
// may be dropped before its end. cells: how the CSV writes a text a spreadsheet would run.
BodyChunks downloadChunks(std::shared_ptr<SharedRecord> record,
                          std::vector<std::uint32_t> positions, std::uint64_t generation,
                          DownloadKind kind, CsvCells cells = CsvCells::Safe);

} // namespace pxr7
