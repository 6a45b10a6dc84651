#include "record_lines.h"

#include "schema.h"

#include <cstdlib>

namespace pxr7 {

namespace {

constexpr int kFetchRows = 5000;

// The error SQLSTATE for a table that is not there.
constexpr char kNoSuchTable[] = "42P01";

} // namespace

DbStatus findStoredRecord(PgConnection& connection, StoredRecord& found, int& version) {
    PgResult result;
    DbStatus status = connection.exec("SELECT max(version) FROM pxr7_schema", {}, &result);
    found = StoredRecord::None;
    version = 0;
    if (!status.ok()) {
        return status.sqlstate == kNoSuchTable ? DbStatus{} : status;
    }
    if (result.rows() == 0 || result.isNull(0, 0)) {
        return status;
    }
    version = static_cast<int>(std::strtol(result.text(0, 0).c_str(), nullptr, 10));
    found = version > kSchemaVersion ? StoredRecord::Newer : StoredRecord::Found;
    return status;
}

namespace {

// The lines a query declares, through a cursor a few thousand at a time.
DbStatus forEachLineOf(PgConnection& connection, const std::string& declare,
                       const std::vector<SqlParam>& params,
                       const std::function<void(const std::string& line)>& take) {
    DbStatus status = connection.begin();
    if (status.ok()) {
        status = connection.exec("DECLARE stored_lines NO SCROLL CURSOR FOR " + declare, params);
    }
    const std::string fetch = "FETCH " + std::to_string(kFetchRows) + " FROM stored_lines";
    for (int rows = kFetchRows; status.ok() && rows == kFetchRows;) {
        PgResult result;
        status = connection.exec(fetch, {}, &result);
        rows = status.ok() ? result.rows() : 0;
        for (int row = 0; row < rows; ++row) {
            take(result.text(row, 0));
        }
    }
    if (status.ok()) {
        status = connection.commit();
    }
    if (!status.ok()) {
        connection.rollback();
    }
    return status;
}

} // namespace

DbStatus forEachStoredLine(PgConnection& connection, const std::string& unitId,
                           const std::string& bench,
                           const std::function<void(const std::string& line)>& take) {
    return forEachLineOf(
        connection,
        "SELECT line FROM record_lines"
        " WHERE ($1::text IS NULL OR unit_id = $1) AND ($2::text IS NULL OR bench = $2)"
        " ORDER BY finished, bench, seq",
        {unitId.empty() ? SqlParam() : SqlParam(unitId),
         bench.empty() ? SqlParam() : SqlParam(bench)},
        take);
}

DbStatus forEachLineByStream(PgConnection& connection,
                             const std::function<void(const std::string& line)>& take) {
    return forEachLineOf(connection,
                         "SELECT line FROM record_lines ORDER BY stream NULLS FIRST, seq, arrival",
                         {}, take);
}

DbStatus countQuarantined(PgConnection& connection, long long& count) {
    PgResult result;
    const DbStatus status = connection.exec("SELECT count(*) FROM record_quarantine", {}, &result);
    count =
        status.ok() && result.rows() > 0 ? std::strtoll(result.text(0, 0).c_str(), nullptr, 10) : 0;
    return status;
}

} // namespace pxr7
