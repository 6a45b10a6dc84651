// The tables of version 1, the steps that bring them to version 2, and the version check. A
// new database is made as version 1 and brought up the same way, so the two never differ.
#include "schema.h"

#include <cstdlib>
#include <string>

namespace pxr7 {

namespace {

// Any number that is ours alone; the lock ends with the transaction.
constexpr const char* kLock = "SELECT pg_advisory_xact_lock(7470001)";

constexpr const char* kTables[] = {
    "CREATE TABLE IF NOT EXISTS pxr7_schema (version integer NOT NULL)",
    "CREATE TABLE IF NOT EXISTS record_lines ("
    " bench text NOT NULL, seq bigint NOT NULL, arrival bigint GENERATED ALWAYS AS IDENTITY,"
    " finished text NOT NULL, day text NOT NULL, lane text NOT NULL, unit_id text,"
    " lead_serial text NOT NULL, result text NOT NULL, host text, line text NOT NULL,"
    " station text NOT NULL, collected timestamptz NOT NULL DEFAULT now(),"
    " PRIMARY KEY (bench, seq))",
    "CREATE INDEX IF NOT EXISTS record_lines_newest ON record_lines"
    " (finished DESC, bench DESC, seq DESC)",
    "CREATE INDEX IF NOT EXISTS record_lines_unit ON record_lines"
    " (unit_id, finished DESC, bench DESC, seq DESC)",
    "CREATE TABLE IF NOT EXISTS record_totals (bench text NOT NULL, lane text NOT NULL,"
    " day text NOT NULL, ok bigint NOT NULL DEFAULT 0, current bigint NOT NULL DEFAULT 0,"
    " failed bigint NOT NULL DEFAULT 0, PRIMARY KEY (bench, lane, day))",
    "CREATE TABLE IF NOT EXISTS collector_stations (station text PRIMARY KEY, bench text,"
    " next_since bigint NOT NULL, last_seen timestamptz, last_problem text)",
    // Lines whose bench and seq were taken by another line: kept, never dropped.
    "CREATE TABLE IF NOT EXISTS record_clashes (bench text NOT NULL, seq bigint NOT NULL,"
    " station text NOT NULL, line text NOT NULL, collected timestamptz NOT NULL DEFAULT now())",
    "CREATE UNIQUE INDEX IF NOT EXISTS record_clashes_once ON record_clashes"
    " (bench, seq, md5(line))",
};

// Version 2: a line's key is its stream and seq (a line from before streams keeps bench and
// seq); lines that cannot go into their stream are kept aside with the reason, the clashes of
// version 1 among them (record_clashes stays as it was, and is no longer written).
constexpr const char* kToVersion2[] = {
    "ALTER TABLE record_lines ADD COLUMN IF NOT EXISTS stream text",
    "ALTER TABLE record_lines ADD COLUMN IF NOT EXISTS prev text",
    "ALTER TABLE record_lines DROP CONSTRAINT IF EXISTS record_lines_pkey",
    "CREATE UNIQUE INDEX IF NOT EXISTS record_lines_stream_key ON record_lines (stream, seq)"
    " WHERE stream IS NOT NULL",
    "CREATE UNIQUE INDEX IF NOT EXISTS record_lines_bench_key ON record_lines (bench, seq)"
    " WHERE stream IS NULL",
    "ALTER TABLE collector_stations ADD COLUMN IF NOT EXISTS stream text",
    "CREATE TABLE IF NOT EXISTS record_quarantine (station text NOT NULL, bench text,"
    " stream text, seq bigint, reason text NOT NULL, line bytea NOT NULL,"
    " collected timestamptz NOT NULL DEFAULT now())",
    "CREATE UNIQUE INDEX IF NOT EXISTS record_quarantine_once ON record_quarantine (md5(line))",
    "INSERT INTO record_quarantine (station, bench, seq, reason, line, collected)"
    " SELECT station, bench, seq, 'its seq repeats with other bytes', convert_to(line, 'UTF8'),"
    " collected FROM record_clashes ON CONFLICT DO NOTHING",
};

SchemaCheck failed(PgConnection& connection, const DbStatus& status) {
    connection.rollback();
    SchemaCheck check;
    check.status = status;
    return check;
}

// The version the database holds; -1 when pxr7_schema has no row yet.
DbStatus storedVersion(PgConnection& connection, int& version) {
    PgResult result;
    DbStatus status = connection.exec("SELECT max(version) FROM pxr7_schema", {}, &result);
    version = !status.ok() || result.isNull(0, 0)
                  ? -1
                  : static_cast<int>(std::strtol(result.text(0, 0).c_str(), nullptr, 10));
    return status;
}

} // namespace

SchemaCheck ensureSchema(PgConnection& connection) {
    DbStatus status = connection.begin();
    if (status.ok()) {
        status = connection.exec(kLock);
    }
    if (status.ok()) {
        status = connection.exec(kTables[0]);
    }
    int version = -1;
    if (status.ok()) {
        status = storedVersion(connection, version);
    }
    if (!status.ok()) {
        return failed(connection, status);
    }
    // A newer database's tables are not ours to add to.
    if (version > kSchemaVersion) {
        connection.rollback();
        return {SchemaOutcome::Newer, version, {}};
    }
    for (const char* table : kTables) {
        if (status.ok()) {
            status = connection.exec(table);
        }
    }
    for (const char* step : kToVersion2) {
        if (status.ok() && version < 2) {
            status = connection.exec(step);
        }
    }
    if (status.ok() && version < 0) {
        status = connection.exec("INSERT INTO pxr7_schema (version) VALUES ($1)",
                                 {std::to_string(kSchemaVersion)});
    } else if (status.ok() && version < kSchemaVersion) {
        status = connection.exec("UPDATE pxr7_schema SET version = $1",
                                 {std::to_string(kSchemaVersion)});
    }
    if (status.ok()) {
        status = connection.commit();
    }
    if (!status.ok()) {
        return failed(connection, status);
    }
    return {SchemaOutcome::Ready, kSchemaVersion, {}};
}

} // namespace pxr7
