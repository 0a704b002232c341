#pragma once

#include <QSqlDatabase>

// The version of the tables this program writes, kept in SQLite's user_version.
// 1: cycles, events, outages and hours; 2: adds the address a host name resolved to;
// 3: adds the echoes each cycle sent.
constexpr int kHistorySchemaVersion = 3;

enum class SchemaState
{
    Ready,
    // Written by a newer program: left as it is, and not written to.
    Newer,
    // A database of some other program, with tables of its own.
    Foreign,
};

// Sets the journal and brings the schema of a freshly opened writer connection to the
// current version, in one transaction. Throws SqlFailure when SQLite refuses, among
// others for a file that is no database.
SchemaState PrepareSchema(const QSqlDatabase &database);

// Takes the tables from one version to a later one (from 0: a new store), in one
// transaction.
void UpgradeSchema(const QSqlDatabase &database, int from, int to);
