// The write side of the database: one page of one station's lines in one transaction. A line's
// key is its stream and seq (a line written before streams: its bench and seq). Each stream of
// the page is held under an advisory lock from the first look at what is stored to the commit,
// so collectors storing the same lines at once take turns and each line is stored or kept
// aside exactly once. A line already stored with the same bytes is left as it is, and the
// totals count only the lines really added, so storing a page again changes nothing. A line
// that cannot go into the stream (line_checks.h), or that the database refuses for what it
// holds, is kept in record_quarantine with the reason and the page goes on.
#pragma once

#include "pg_connection.h"
#include "station_client.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pxr7 {

constexpr std::int64_t kFirstSince = INT64_MIN; // a station never read: from its first line

// Where the collector goes on with station, and the stream its record was in then ("" when not
// known); kFirstSince when it was never read.
DbStatus storedNextSince(PgConnection& connection, const std::string& station,
                         std::int64_t& nextSince, std::string& stream);

struct QuarantinedLines {
    std::string reason;
    std::size_t lines = 0;
    std::string bench; // of the last of them
    std::int64_t upToSeq = 0;
};

struct NewStream {
    std::string bench, stream;
};

struct PageStored {
    std::size_t inserted = 0;                  // the lines that were new
    std::vector<QuarantinedLines> quarantined; // per reason, in the order first met
    std::vector<NewStream> newStreams;         // streams first stored now, of a bench known before
};

// Stores the page's lines (a line the record reader cannot read is refused beforehand by the
// client) and station's next_since, stream, bench and last_seen; committed, or rolled back on
// failure, when stored says nothing.
DbStatus storePage(PgConnection& connection, const std::string& station, const StationPage& page,
                   PageStored& stored);

// Why the station could not be read, kept with it for the readers; best effort.
void noteStationProblem(PgConnection& connection, const std::string& station,
                        const std::string& problem);

} // namespace pxr7
