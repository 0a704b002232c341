#pragma once

#include <QSqlDatabase>

// The version of the tables this program writes, kept in SQLite's user_version.
// 1: cycles, events, outages and hours; 2: adds the address a host name resolved to;
// 3: marks an outage that a stop ended; 4: adds the echoes each cycle sent; 5: keeps
// the console's bytes as bytes, and marks an outage that ended unwatched; 6: adds why
// a limit failed or held a cycle, and the hold.
constexpr int kHistorySchemaVersion = 6;

// SQLite's application_id of a history file ("CRVN"): set on creation and on the
// upgrade to version 3, so that another program's database is told apart from ours
// whatever its user_version says.
constexpr qint32 kHistoryApplicationId = 0x4352564e;

enum class SchemaState
{
    Ready,
    // Written by a newer program: left as it is, and not written to.
    Newer,
    // A database of some other program: another application_id, or none and tables
    // that are not ours.
    Foreign,
};

// Sets the journal and brings the schema of a freshly opened writer connection to the
// current version, in one transaction. Throws SqlFailure when SQLite refuses, among
// others for a file that is no database.
SchemaState PrepareSchema(const QSqlDatabase &database);

// Takes the tables from one version to a later one (from 0: a new store), in one
// transaction.
void UpgradeSchema(const QSqlDatabase &database, int from, int to);
