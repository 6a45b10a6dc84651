// An export of the database's lines made as it is sent: the cursor of HistoryStore::exportAll
// on a connection held for the export alone, 1,000 rows a part, so that memory stays flat
// whatever the number of lines and the first part goes out as soon as the first rows come.
#pragma once

#include "history_store.h"
#include "record_export.h"
#include "http_reply.h"
#include "pg_pool.h"

#include <vector>

namespace pxr7 {

// Rows asked of the cursor at a time.
constexpr int kExportRows = 1000;

// The body after first, the rows the cursor gave first (the caller fetched them, so that a
// query that fails is a status before anything is sent): the CSV header row (csv), then each
// row as CSV or its line and "\n". Failed when a later fetch fails. It holds lease until its
// end or until it is dropped, whichever comes first; then the connection goes back.
BodyChunks databaseChunks(PgPool::Lease lease, std::vector<StoreLine> first, bool csv,
                          CsvCells cells = CsvCells::Safe);

} // namespace pxr7
