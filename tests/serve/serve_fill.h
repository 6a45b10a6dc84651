// Record lines put straight into the database, as the collector would: record_lines and the
// record_totals that go with them, every value bound.
#pragma once

#include "pg_connection.h"
#include "schema.h"

#include <gtest/gtest.h>

#include <string>

namespace pxr7::test {

struct FillLine {
    std::string bench;
    long long seq;
    std::string finished; // "" none
    std::string lane, unit, result, line;
};

inline void fill(PgConnection& db, const FillLine& l) {
    const std::string day = l.finished.size() >= 10 ? l.finished.substr(0, 10) : "";
    const SqlParam unit = l.unit.empty() ? SqlParam() : SqlParam(l.unit);
    ASSERT_TRUE(
        db.exec("INSERT INTO record_lines (bench, seq, finished, day, lane, unit_id, "
                "lead_serial, result, host, line, station) VALUES ($1, $2, $3, $4, $5, "
                "$6, 'S', $7, 'h', $8, 'http://s')",
                {l.bench, std::to_string(l.seq), l.finished, day, l.lane, unit, l.result, l.line})
            .ok());
    const char* column = l.result == "ok" ? "ok" : l.result == "current" ? "current" : "failed";
    ASSERT_TRUE(db.exec(std::string("INSERT INTO record_totals (bench, lane, day, ") + column +
                            ") VALUES ($1, $2, $3, 1) ON CONFLICT (bench, lane, day) DO UPDATE "
                            "SET " +
                            column + " = record_totals." + column + " + 1",
                        {l.bench, l.lane, day})
                    .ok());
}

inline void openFilled(PgConnection& db, const std::string& url) {
    ASSERT_TRUE(db.connect(url).ok());
    ASSERT_EQ(ensureSchema(db).outcome, SchemaOutcome::Ready);
}

} // namespace pxr7::test
