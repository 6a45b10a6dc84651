// The database's tables, version 1: made on first use, in one transaction under an advisory
// lock so collectors that start together do not collide. A database made by a newer pxr7 is
// left alone: its tables may mean something this one does not know.
#pragma once

#include "pg_connection.h"

namespace pxr7 {

constexpr int kSchemaVersion = 1;

enum class SchemaOutcome { Ready, Newer, Failed };

struct SchemaCheck {
    SchemaOutcome outcome = SchemaOutcome::Failed;
    int version = 0; // the database's version (Newer, Ready)
    DbStatus status; // why it failed (Failed)
};

// Creates the tables unless they are there; Newer when the database holds a higher version.
SchemaCheck ensureSchema(PgConnection& connection);

} // namespace pxr7
