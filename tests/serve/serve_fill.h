// Record lines put straight into the database, as the collector would: record_lines and the
// record_totals that go with them, every value bound.
#pragma once

#include "pg_connection.h"
#include "schema.h"

#include <string>

namespace pxr7::test {

struct FillLine {
    std::string bench;
    long long seq;
    std::string finished; // "" none
    std::string lane, unit, result, line;
};

inline bool fill(PgConnection& db, const FillLine& l) {
    const std::string day = l.finished.size() >= 10 ? l.finished.substr(0, 10) : "";
    const SqlParam unit = l.unit.empty() ? SqlParam() : SqlParam(l.unit);
    const std::string column = l.result == "ok" || l.result == "current" ? l.result : "failed";
    const std::string lines =
        "INSERT INTO record_lines (bench, seq, finished, day, lane, unit_id, lead_serial, "
        "result, host, line, station) VALUES ($1, $2, $3, $4, $5, $6, 'S', $7, 'h', $8, 's')";
    const std::string totals = "INSERT INTO record_totals (bench, lane, day, " + column +
                               ") VALUES ($1, $2, $3, 1) ON CONFLICT (bench, lane, day) DO "
                               "UPDATE SET " +
                               column + " = record_totals." + column + " + 1";
    return db.exec(lines, {l.bench, std::to_string(l.seq), l.finished, day, l.lane, unit, l.result,
                           l.line})
               .ok() &&
           db.exec(totals, {l.bench, l.lane, day}).ok();
}

// Connects and makes the tables.
inline bool openWithTables(PgConnection& db, const std::string& url) {
    return db.connect(url).ok() && ensureSchema(db).outcome == SchemaOutcome::Ready;
}

} // namespace pxr7::test
