// The database's tables, version 2: made on first use, and a database of version 1 brought up
// to it in place (its rows kept), in one transaction under an advisory lock so collectors that
// start together do not collide. A database made by a newer pxr7 is left alone: its tables may
// mean something this one does not know.
#pragma once

#include "pg_connection.h"

namespace pxr7 {

constexpr int kSchemaVersion = 2;

enum class SchemaOutcome { Ready, Newer, Failed };

struct SchemaCheck {
    SchemaOutcome outcome = SchemaOutcome::Failed;
    int version = 0; // the database's version (Newer, Ready)
    DbStatus status; // why it failed (Failed)
};

// Creates the tables unless they are there, and brings older ones up to kSchemaVersion (Ready
// then says kSchemaVersion); Newer when the database holds a higher version.
SchemaCheck ensureSchema(PgConnection& connection);

} // namespace pxr7
