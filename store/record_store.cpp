// The page goes in as arrays: the streams locked, the stored digests under the page's keys
// looked up, each line's fate decided (line_checks.h), then one statement for the lines to
// store and their totals, and one for those kept aside. A statement the database refuses for
// a line's content is tried again line by line, so only that line goes aside.
#include "record_store.h"

#include "history_query.h"
#include "line_checks.h"
#include "record_json.h"
#include "utf8_text.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <vector>

namespace pxr7 {

namespace {

// The lines in page order (seq order): arrival follows it. Indexed texts that are no identity
// go in as a bounded copy, so no line can pass the index's row limit; the line stays whole.
constexpr const char* kInsertPage = R"SQL(
WITH input AS (
  SELECT * FROM unnest($1::text[], $2::bigint[], $3::text[], $4::text[], $5::text[],
                       $6::text[], $7::text[], $8::text[], $9::text[], $10::text[], $11::text[],
                       $12::text[])
    WITH ORDINALITY AS t(bench, seq, finished, day, lane, unit_id, lead_serial, result, host,
                         line, stream, prev, n)),
added AS (
  INSERT INTO record_lines (bench, seq, finished, day, lane, unit_id, lead_serial, result, host,
                            line, station, stream, prev)
  SELECT bench, seq, left(finished, 200), left(day, 10), left(lane, 200), left(unit_id, 200),
         lead_serial, result, host, line, $13, stream, prev
    FROM input ORDER BY n
  ON CONFLICT DO NOTHING
  RETURNING bench, lane, day, result),
totals AS (
  INSERT INTO record_totals AS r (bench, lane, day, ok, current, failed)
  SELECT bench, lane, day, count(*) FILTER (WHERE result = 'ok'),
         count(*) FILTER (WHERE result = 'current'),
         count(*) FILTER (WHERE result NOT IN ('ok', 'current'))
    FROM added GROUP BY bench, lane, day
  ON CONFLICT (bench, lane, day) DO UPDATE
    SET ok = r.ok + EXCLUDED.ok, current = r.current + EXCLUDED.current,
        failed = r.failed + EXCLUDED.failed)
SELECT count(*) FROM added)SQL";

// The digests of the lines stored within the ranges of seq asked for, per stream (and per
// bench for lines from before streams), as lineDigest gives them: one index range a stream,
// however many lines the page holds.
constexpr const char* kStoredDigests = R"SQL(
SELECT r.stream, '', r.seq, encode(sha256(convert_to(r.line, 'UTF8')), 'hex')
  FROM unnest($1::text[], $2::bigint[], $3::bigint[]) AS k(stream, low, high)
  JOIN record_lines r ON r.stream = k.stream AND r.seq BETWEEN k.low AND k.high
UNION ALL
SELECT '', r.bench, r.seq, encode(sha256(convert_to(r.line, 'UTF8')), 'hex')
  FROM unnest($4::text[], $5::bigint[], $6::bigint[]) AS k(bench, low, high)
  JOIN record_lines r ON r.stream IS NULL AND r.bench = k.bench AND r.seq BETWEEN k.low AND k.high)SQL";

// Streams that have no line stored yet, of a bench that has.
constexpr const char* kNewStreams = R"SQL(
SELECT DISTINCT k.bench, k.stream FROM unnest($1::text[], $2::text[]) AS k(bench, stream)
 WHERE NOT EXISTS (SELECT 1 FROM record_lines r WHERE r.stream = k.stream)
   AND EXISTS (SELECT 1 FROM record_totals t WHERE t.bench = k.bench))SQL";

// Kept once, whoever brings the same bytes again.
constexpr const char* kQuarantine = R"SQL(
INSERT INTO record_quarantine (station, bench, stream, seq, reason, line)
SELECT $1, bench, stream, seq, reason, decode(line, 'hex')
  FROM unnest($2::text[], $3::text[], $4::bigint[], $5::text[], $6::text[])
    AS t(bench, stream, seq, reason, line)
ON CONFLICT DO NOTHING)SQL";

// Ours alone, beside the schema's; the lock ends with the transaction.
constexpr const char* kLockKey = "SELECT pg_advisory_xact_lock(7470002, hashtext($1))";

constexpr const char* kStationSeen = R"SQL(
INSERT INTO collector_stations AS s (station, bench, next_since, stream, last_seen, last_problem)
VALUES ($1, $2, $3, $4, now(), NULL)
ON CONFLICT (station) DO UPDATE
  SET bench = coalesce(EXCLUDED.bench, s.bench), next_since = EXCLUDED.next_since,
      stream = coalesce(EXCLUDED.stream, s.stream), last_seen = now(), last_problem = NULL)SQL";

constexpr const char* kStationProblem = R"SQL(
INSERT INTO collector_stations AS s (station, next_since, last_problem) VALUES ($1, $2, $3)
ON CONFLICT (station) DO UPDATE SET last_problem = EXCLUDED.last_problem)SQL";

// One column of the page as a PostgreSQL array literal: every element quoted, NULL bare.
class ArrayColumn {
public:
    void add(const SqlParam& value) {
        text_ += text_.empty() ? "{" : ",";
        if (!value) {
            text_ += "NULL";
            return;
        }
        text_ += '"';
        for (const char c : *value) {
            if (c == '"' || c == '\\') {
                text_ += '\\';
            }
            text_ += c;
        }
        text_ += '"';
    }
    std::string done() const { return text_.empty() ? "{}" : text_ + "}"; }

private:
    std::string text_;
};

SqlParam orNull(const std::string& text) {
    return text.empty() ? SqlParam() : SqlParam(text);
}

constexpr int kLineColumns = 12;

// The line's columns, from parseRecordLine's entry with its texts in UTF-8.
void lineColumns(const CheckedLine& checked, ArrayColumn (&columns)[kLineColumns]) {
    const StationLine& line = *checked.line;
    const JsonValue& object = line.object;
    RecordEntry entry;
    std::string host;
    recordEntryOf(object, entry, host);
    entry.finished = utf8Text(object, "finished");
    entry.laneName = utf8Text(object, "lane_name");
    entry.leadSerial = utf8Text(object, "lead_serial");
    entry.unitId = utf8Text(object, "unit_id");
    entry.result = utf8Text(object, "result");
    host = utf8Text(object, "host");
    const std::string day = entry.finished.substr(0, 10);
    const SqlParam values[kLineColumns] = {line.bench,
                                           std::to_string(line.seq),
                                           entry.finished,
                                           isDay(day) ? day : "",
                                           laneLabel(entry),
                                           orNull(entry.unitId),
                                           entry.leadSerial,
                                           entry.result,
                                           orNull(host),
                                           line.bytes,
                                           orNull(checked.stream),
                                           orNull(checked.prev)};
    for (int i = 0; i < kLineColumns; ++i) {
        columns[i].add(values[i]);
    }
}

std::vector<SqlParam> insertParams(const std::string& station,
                                   const std::vector<const CheckedLine*>& lines) {
    ArrayColumn columns[kLineColumns];
    for (const CheckedLine* line : lines) {
        lineColumns(*line, columns);
    }
    std::vector<SqlParam> params;
    for (const ArrayColumn& column : columns) {
        params.push_back(column.done());
    }
    params.push_back(station);
    return params;
}

std::string hexOf(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 0xF];
    }
    return hex;
}

// Each stream of the page (and each bench of its lines from before streams), in one order for
// every collector, so two never wait on each other.
DbStatus lockKeys(PgConnection& connection, const std::vector<CheckedLine>& lines) {
    std::set<std::string> keys;
    for (const CheckedLine& line : lines) {
        keys.insert(line.stream.empty() ? "bench " + line.line->bench : "stream " + line.stream);
    }
    DbStatus status;
    for (auto key = keys.begin(); key != keys.end() && status.ok(); ++key) {
        status = connection.exec(kLockKey, {*key});
    }
    return status;
}

DbStatus lookUpStored(PgConnection& connection, const std::vector<CheckedLine>& lines,
                      std::map<LineKey, std::string>& stored) {
    // The lowest and highest seq wanted of each stream or bench.
    std::map<std::pair<std::string, std::string>, std::pair<std::int64_t, std::int64_t>> ranges;
    for (const LineKey& key : keysToLookUp(lines)) {
        const auto found =
            ranges.emplace(std::make_pair(key.stream, key.bench), std::make_pair(key.seq, key.seq));
        found.first->second.first = std::min(found.first->second.first, key.seq);
        found.first->second.second = std::max(found.first->second.second, key.seq);
    }
    ArrayColumn columns[6];
    for (const auto& range : ranges) {
        const bool chained = !range.first.first.empty();
        const int at = chained ? 0 : 3;
        columns[at].add(chained ? range.first.first : range.first.second);
        columns[at + 1].add(std::to_string(range.second.first));
        columns[at + 2].add(std::to_string(range.second.second));
    }
    std::vector<SqlParam> params;
    for (const ArrayColumn& column : columns) {
        params.push_back(column.done());
    }
    PgResult result;
    const DbStatus status = connection.exec(kStoredDigests, params, &result);
    for (int row = 0; status.ok() && row < result.rows(); ++row) {
        const LineKey key{result.text(row, 0), result.text(row, 1),
                          std::strtoll(result.text(row, 2).c_str(), nullptr, 10)};
        stored[key] = result.text(row, 3);
    }
    return status;
}

// Only a stream whose first line here has no line before it stored can be new: most pages
// ask nothing.
DbStatus findNewStreams(PgConnection& connection, const std::vector<const CheckedLine*>& lines,
                        const std::map<LineKey, std::string>& stored,
                        std::vector<NewStream>& streams) {
    ArrayColumn benches, ids;
    std::set<std::string> seen;
    for (const CheckedLine* line : lines) {
        if (!line->stream.empty() && seen.insert(line->stream).second &&
            stored.count({line->stream, "", line->line->seq - 1}) == 0) {
            benches.add(line->line->bench);
            ids.add(line->stream);
        }
    }
    if (benches.done() == "{}") {
        return {};
    }
    PgResult result;
    const DbStatus status = connection.exec(kNewStreams, {benches.done(), ids.done()}, &result);
    for (int row = 0; status.ok() && row < result.rows(); ++row) {
        streams.push_back({result.text(row, 0), result.text(row, 1)});
    }
    return status;
}

// A refusal for what the statement carried: bad data (22), a broken constraint (23), a limit
// passed (54). Anything else is the database's, not the line's.
bool refusedForContent(const DbStatus& status) {
    const std::string kind = status.sqlstate.substr(0, 2);
    return status.problem == DbProblem::Statement && (kind == "22" || kind == "23" || kind == "54");
}

DbStatus insertLines(PgConnection& connection, const std::string& station,
                     const std::vector<const CheckedLine*>& lines, std::size_t& inserted) {
    PgResult added;
    const DbStatus status = connection.exec(kInsertPage, insertParams(station, lines), &added);
    if (status.ok() && added.rows() > 0) {
        inserted += std::strtoull(added.text(0, 0).c_str(), nullptr, 10);
    }
    return status;
}

// Tries the statement inside a savepoint: refused for content, it is undone and refused says so.
DbStatus undoableInsert(PgConnection& connection, const std::string& station,
                        const std::vector<const CheckedLine*>& lines, std::size_t& inserted,
                        DbStatus& refused) {
    DbStatus status = connection.exec("SAVEPOINT line_batch");
    std::size_t added = 0;
    if (status.ok()) {
        status = insertLines(connection, station, lines, added);
    }
    if (refusedForContent(status)) {
        refused = status;
        return connection.exec("ROLLBACK TO SAVEPOINT line_batch");
    }
    inserted += status.ok() ? added : 0;
    return status;
}

// How a page's lines go in: all in one statement, or, once that was refused for a line's content,
// one by one, each in a savepoint of its own.
enum class Insert { AllAtOnce, LineByLine };

// The lines to store; one by one, those refused for their content are quarantined with the
// database's reason.
DbStatus insertOrSetAside(PgConnection& connection, const std::string& station,
                          std::vector<CheckedLine>& lines, std::size_t& inserted, Insert how) {
    std::vector<const CheckedLine*> storing;
    for (const CheckedLine& line : lines) {
        if (line.fate == CheckedLine::Fate::Store) {
            storing.push_back(&line);
        }
    }
    if (how == Insert::AllAtOnce) {
        return storing.empty() ? DbStatus{} : insertLines(connection, station, storing, inserted);
    }
    DbStatus status;
    for (CheckedLine& line : lines) {
        if (!status.ok() || line.fate != CheckedLine::Fate::Store) {
            continue;
        }
        DbStatus refused;
        status = undoableInsert(connection, station, {&line}, inserted, refused);
        if (!refused.ok()) {
            line.fate = CheckedLine::Fate::Quarantine;
            line.reason = "the database refused it (" + refused.sqlstate + "): " + refused.message;
        }
    }
    return status;
}

// The lines set aside, and the tally per reason for the collector's report.
DbStatus quarantine(PgConnection& connection, const std::string& station,
                    const std::vector<CheckedLine>& lines, std::vector<QuarantinedLines>& tally) {
    ArrayColumn columns[5];
    for (const CheckedLine& line : lines) {
        if (line.fate != CheckedLine::Fate::Quarantine) {
            continue;
        }
        const SqlParam values[5] = {line.line->bench, orNull(line.stream),
                                    std::to_string(line.line->seq), line.reason,
                                    hexOf(line.line->bytes)};
        for (int i = 0; i < 5; ++i) {
            columns[i].add(values[i]);
        }
        auto same = std::find_if(tally.begin(), tally.end(), [&](const QuarantinedLines& t) {
            return t.reason == line.reason;
        });
        same = same != tally.end() ? same : tally.insert(tally.end(), {line.reason, 0, "", 0});
        ++same->lines;
        same->bench = line.line->bench;
        same->upToSeq = line.line->seq;
    }
    if (tally.empty()) {
        return {};
    }
    std::vector<SqlParam> params{station};
    for (const ArrayColumn& column : columns) {
        params.push_back(column.done());
    }
    return connection.exec(kQuarantine, params);
}

DbStatus rolledBack(PgConnection& connection, const DbStatus& status, PageStored& stored) {
    connection.rollback();
    stored = PageStored();
    return status;
}

} // namespace

DbStatus storedNextSince(PgConnection& connection, const std::string& station,
                         std::int64_t& nextSince, std::string& stream) {
    PgResult result;
    const DbStatus status = connection.exec(
        "SELECT next_since, coalesce(stream, '') FROM collector_stations WHERE station = $1",
        {station}, &result);
    const bool found = status.ok() && result.rows() > 0;
    nextSince = found ? std::strtoll(result.text(0, 0).c_str(), nullptr, 10) : kFirstSince;
    stream = found ? result.text(0, 1) : "";
    return status;
}

namespace {

// Within the open transaction: the page's lines decided, stored or set aside.
DbStatus storeLines(PgConnection& connection, const std::string& station,
                    std::vector<CheckedLine>& lines, PageStored& stored, Insert how) {
    std::map<LineKey, std::string> digests;
    DbStatus status = lockKeys(connection, lines);
    if (status.ok()) {
        status = lookUpStored(connection, lines, digests);
    }
    checkLines(lines, digests);
    std::vector<const CheckedLine*> storing;
    for (const CheckedLine& line : lines) {
        if (line.fate == CheckedLine::Fate::Store) {
            storing.push_back(&line);
        }
    }
    if (status.ok() && !storing.empty()) {
        status = findNewStreams(connection, storing, digests, stored.newStreams);
    }
    if (status.ok()) {
        status = insertOrSetAside(connection, station, lines, stored.inserted, how);
    }
    if (status.ok()) {
        status = quarantine(connection, station, lines, stored.quarantined);
    }
    return status;
}

// The page in one transaction, committed, or rolled back when stored says nothing.
DbStatus storePageAs(PgConnection& connection, const std::string& station, const StationPage& page,
                     PageStored& stored, Insert how) {
    stored = PageStored();
    std::vector<CheckedLine> lines = readPageLines(page);
    DbStatus status = connection.begin();
    if (status.ok() && !lines.empty()) {
        status = storeLines(connection, station, lines, stored, how);
    }
    const SqlParam bench = page.lines.empty() ? SqlParam() : SqlParam(page.lines.back().bench);
    if (status.ok()) {
        status = connection.exec(
            kStationSeen, {station, bench, std::to_string(page.nextSince), orNull(page.stream)});
    }
    if (status.ok()) {
        status = connection.commit();
    }
    return status.ok() ? status : rolledBack(connection, status, stored);
}

} // namespace

DbStatus storePage(PgConnection& connection, const std::string& station, const StationPage& page,
                   PageStored& stored) {
    const DbStatus status = storePageAs(connection, station, page, stored, Insert::AllAtOnce);
    // One line the database refuses for what it holds spoils the statement for all: the page
    // again, line by line, so that only that line goes aside.
    return refusedForContent(status)
               ? storePageAs(connection, station, page, stored, Insert::LineByLine)
               : status;
}

void noteStationProblem(PgConnection& connection, const std::string& station,
                        const std::string& problem) {
    connection.exec(kStationProblem, {station, std::to_string(kFirstSince), problem});
}

} // namespace pxr7
