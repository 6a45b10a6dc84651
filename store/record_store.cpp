// The page goes in as arrays, one statement for all its lines: the lines, the totals of those
// really added, the lines that clash with another already stored under their bench and seq, and
// where the station's next page starts.
#include "record_store.h"

#include "history_query.h"
#include "record_json.h"
#include "utf8_text.h"

#include <cstdlib>
#include <vector>

namespace pxr7 {

namespace {

// The lines in page order (seq order): arrival follows it.
constexpr const char* kInsertPage = R"SQL(
WITH input AS (
  SELECT * FROM unnest($1::text[], $2::bigint[], $3::text[], $4::text[], $5::text[],
                       $6::text[], $7::text[], $8::text[], $9::text[], $10::text[])
    WITH ORDINALITY AS t(bench, seq, finished, day, lane, unit_id, lead_serial, result, host,
                         line, n)),
added AS (
  INSERT INTO record_lines (bench, seq, finished, day, lane, unit_id, lead_serial, result, host,
                            line, station)
  SELECT bench, seq, finished, day, lane, unit_id, lead_serial, result, host, line, $11
    FROM input ORDER BY n
  ON CONFLICT (bench, seq) DO NOTHING
  RETURNING bench, lane, day, result),
totals AS (
  INSERT INTO record_totals AS r (bench, lane, day, ok, current, failed)
  SELECT bench, lane, day, count(*) FILTER (WHERE result = 'ok'),
         count(*) FILTER (WHERE result = 'current'),
         count(*) FILTER (WHERE result NOT IN ('ok', 'current'))
    FROM added GROUP BY bench, lane, day
  ON CONFLICT (bench, lane, day) DO UPDATE
    SET ok = r.ok + EXCLUDED.ok, current = r.current + EXCLUDED.current,
        failed = r.failed + EXCLUDED.failed),
clashed AS (
  INSERT INTO record_clashes (bench, seq, station, line)
  SELECT i.bench, i.seq, $11, i.line FROM input i JOIN record_lines r USING (bench, seq)
   WHERE r.line <> i.line
  ON CONFLICT DO NOTHING
  RETURNING 1)
SELECT (SELECT count(*) FROM added),
       (SELECT count(*) FROM input i JOIN record_lines r USING (bench, seq)
         WHERE r.line <> i.line))SQL";

constexpr const char* kStationSeen = R"SQL(
INSERT INTO collector_stations AS s (station, bench, next_since, last_seen, last_problem)
VALUES ($1, $2, $3, now(), NULL)
ON CONFLICT (station) DO UPDATE
  SET bench = coalesce(EXCLUDED.bench, s.bench), next_since = EXCLUDED.next_since,
      last_seen = now(), last_problem = NULL)SQL";

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

// The line's columns, from parseRecordLine's entry with its texts in UTF-8.
void lineColumns(const StationLine& line, ArrayColumn (&columns)[10]) {
    RecordEntry entry;
    std::string host;
    parseRecordLine(line.bytes, entry, host);
    const JsonValue object = parseJsonLine(line.bytes);
    entry.finished = utf8Text(object, "finished");
    entry.laneName = utf8Text(object, "lane_name");
    entry.leadSerial = utf8Text(object, "lead_serial");
    entry.unitId = utf8Text(object, "unit_id");
    entry.result = utf8Text(object, "result");
    host = utf8Text(object, "host");
    const std::string day = entry.finished.substr(0, 10);
    const SqlParam values[10] = {line.bench,       std::to_string(line.seq),
                                 entry.finished,   isDay(day) ? day : "",
                                 laneLabel(entry), orNull(entry.unitId),
                                 entry.leadSerial, entry.result,
                                 orNull(host),     line.bytes};
    for (int i = 0; i < 10; ++i) {
        columns[i].add(values[i]);
    }
}

std::vector<SqlParam> pageParams(const std::string& station, const StationPage& page) {
    ArrayColumn columns[10];
    for (const StationLine& line : page.lines) {
        lineColumns(line, columns);
    }
    std::vector<SqlParam> params;
    for (const ArrayColumn& column : columns) {
        params.push_back(column.done());
    }
    params.push_back(station);
    return params;
}

DbStatus rolledBack(PgConnection& connection, const DbStatus& status) {
    connection.rollback();
    return status;
}

} // namespace

DbStatus storedNextSince(PgConnection& connection, const std::string& station,
                         std::int64_t& nextSince) {
    PgResult result;
    const DbStatus status = connection.exec(
        "SELECT next_since FROM collector_stations WHERE station = $1", {station}, &result);
    nextSince = status.ok() && result.rows() > 0
                    ? std::strtoll(result.text(0, 0).c_str(), nullptr, 10)
                    : kFirstSince;
    return status;
}

DbStatus storePage(PgConnection& connection, const std::string& station, const StationPage& page,
                   std::size_t& inserted, std::size_t& clashing) {
    inserted = 0;
    clashing = 0;
    DbStatus status = connection.begin();
    PgResult added;
    if (status.ok() && !page.lines.empty()) {
        status = connection.exec(kInsertPage, pageParams(station, page), &added);
    }
    const SqlParam bench = page.lines.empty() ? SqlParam() : SqlParam(page.lines.back().bench);
    if (status.ok()) {
        status = connection.exec(kStationSeen, {station, bench, std::to_string(page.nextSince)});
    }
    if (status.ok()) {
        status = connection.commit();
    }
    if (!status.ok()) {
        return rolledBack(connection, status);
    }
    inserted = added.rows() > 0 ? std::strtoull(added.text(0, 0).c_str(), nullptr, 10) : 0;
    clashing = added.rows() > 0 ? std::strtoull(added.text(0, 1).c_str(), nullptr, 10) : 0;
    return status;
}

void noteStationProblem(PgConnection& connection, const std::string& station,
                        const std::string& problem) {
    connection.exec(kStationProblem, {station, std::to_string(kFirstSince), problem});
}

} // namespace pxr7
