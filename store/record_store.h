// The write side of the database: one page of one station's lines in one transaction. A line
// already there (same bench and seq) is left as it is, and the totals count only the lines
// really added, so storing a page again changes nothing.
#pragma once

#include "pg_connection.h"
#include "station_client.h"

#include <cstdint>
#include <string>

namespace pxr7 {

constexpr std::int64_t kFirstSince = INT64_MIN; // a station never read: from its first line

// Where the collector goes on with station; kFirstSince when it was never read.
DbStatus storedNextSince(PgConnection& connection, const std::string& station,
                         std::int64_t& nextSince);

// Stores the page's lines (a line the record reader cannot read is refused beforehand by the
// client) and station's next_since, bench and last_seen; committed, or rolled back on failure.
// inserted: the lines that were new. clashing: the lines whose bench and seq are already stored
// with other bytes (two benches of one name, or a bench whose counter started again): each is
// kept in record_clashes, once, and never taken for a repeat.
DbStatus storePage(PgConnection& connection, const std::string& station, const StationPage& page,
                   std::size_t& inserted, std::size_t& clashing);

// Why the station could not be read, kept with it for the readers; best effort.
void noteStationProblem(PgConnection& connection, const std::string& station,
                        const std::string& problem);

} // namespace pxr7
