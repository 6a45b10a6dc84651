// The record lines the database holds, read back oldest first for a summary over every bench.
#pragma once

#include "pg_connection.h"

#include <functional>
#include <string>
#include <vector>

namespace pxr7 {

enum class StoredRecord { Found, None, Newer };

// Whether the database holds the collector's tables at a version this program reads: None
// when no collector has made them yet, Newer when a newer pxr7 did (version says which).
DbStatus findStoredRecord(PgConnection& connection, StoredRecord& found, int& version);

// Hands every stored line to take, ordered by finished time, then bench and seq; with a unitId,
// only that unit's lines, with a bench only that bench's. Read through a cursor a few thousand
// at a time, so a database of millions of lines is never held at once.
DbStatus forEachStoredLine(PgConnection& connection, const std::string& unitId,
                           const std::string& bench,
                           const std::function<void(const std::string& line)>& take);

// Hands every stored line to take, by stream (lines from before streams first), then seq: the
// order history --verify walks the chain in. Through a cursor, as forEachStoredLine.
DbStatus forEachLineByStream(PgConnection& connection,
                             const std::function<void(const std::string& line)>& take);

// The lines kept aside in record_quarantine.
DbStatus countQuarantined(PgConnection& connection, long long& count);

} // namespace pxr7
