// The tables of version 1, and the version check.
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
    if (status.ok() && version < 0) {
        status = connection.exec("INSERT INTO pxr7_schema (version) VALUES ($1)",
                                 {std::to_string(kSchemaVersion)});
    }
    if (status.ok()) {
        status = connection.commit();
    }
    if (!status.ok()) {
        return failed(connection, status);
    }
    return {SchemaOutcome::Ready, version < 0 ? kSchemaVersion : version, {}};
}

} // namespace pxr7
