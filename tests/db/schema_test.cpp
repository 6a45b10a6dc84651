// The tables: made once, made again harmlessly, and a newer database left alone.
#include "db_rig.h"
#include "schema.h"

#include <gtest/gtest.h>

namespace pxr7 {
namespace {

std::string scalar(PgConnection& db, const std::string& sql) {
    PgResult result;
    EXPECT_TRUE(db.exec(sql, {}, &result).ok()) << sql;
    return result.text(0, 0);
}

TEST(Schema, MadeOnceIdempotentAndANewerOneRefused) {
    PXR7_FRESH_DATABASE(url, "pxr7_schema_test");
    PgConnection db;
    ASSERT_TRUE(db.connect(url).ok());
    struct Case {
        const char* before; // run before ensureSchema
        SchemaOutcome outcome;
        int version;
    };
    const Case cases[] = {
        {"SELECT 1", SchemaOutcome::Ready, kSchemaVersion},
        {"SELECT 1", SchemaOutcome::Ready, kSchemaVersion},
        {"UPDATE pxr7_schema SET version = 3", SchemaOutcome::Newer, 3},
        // An older version is brought up to this one.
        {"UPDATE pxr7_schema SET version = 0", SchemaOutcome::Ready, kSchemaVersion},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(db.exec(c.before).ok()) << c.before;
        const SchemaCheck check = ensureSchema(db);
        EXPECT_EQ(check.outcome, c.outcome) << c.before << ": " << check.status.message;
        EXPECT_EQ(check.version, c.version) << c.before;
        EXPECT_EQ(scalar(db, "SELECT count(*) FROM pxr7_schema"), "1") << c.before;
    }
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM pg_tables WHERE tablename IN ('record_lines',"
                         " 'record_totals', 'collector_stations', 'pxr7_schema',"
                         " 'record_quarantine')"),
              "5");
}

TEST(Schema, ConnectionProblemsAreTyped) {
    PXR7_FRESH_DATABASE(url, "pxr7_connect_test");
    const std::string host = url.substr(url.find("?host="));
    struct Case {
        std::string url;
        DbProblem problem;
    };
    const Case cases[] = {
        {url, DbProblem::None},
        {"postgresql://[::1", DbProblem::BadUrl},
        {"postgresql:///pxr7?nonsense=1", DbProblem::BadUrl},
        {"postgresql:///no_such_database" + host, DbProblem::LoginRefused},
        {"postgresql:///pxr7?host=/nonexistent-folder", DbProblem::Away},
    };
    for (const Case& c : cases) {
        PgConnection db;
        EXPECT_EQ(db.connect(c.url).problem, c.problem) << c.url;
    }
}

TEST(Schema, PasswordsNeverShown) {
    const std::pair<const char*, const char*> cases[] = {
        {"postgresql://u:secret@h:5432/db", "postgresql://u:***@h:5432/db"},
        {"postgresql://u@h/db?password=secret&x=1", "postgresql://u@h/db?password=***&x=1"},
        {"postgresql://h/db", "postgresql://h/db"},
        {"postgresql://u:p%40ss@h/db", "postgresql://u:***@h/db"},
    };
    for (const auto& [url, shown] : cases) {
        EXPECT_EQ(urlWithoutPassword(url), shown);
    }
}

} // namespace
} // namespace pxr7
