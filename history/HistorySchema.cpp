#include "HistorySchema.h"

#include "SqlStatements.h"

#include <QStringList>

#include <iterator>

namespace {

// Each step takes the tables from the version before it to its own. A new store runs
// them all, so that an upgraded store ends up exactly like a new one.
//
// Times are milliseconds since the epoch, UTC. A cycle's time is its row id, which
// spares an index over 2.6 million rows a month. Round-trip times are stored only for
// an answered echo, and a secondary address only when it was probed; SQLite stores a
// NULL and the small integers 0 and 1 in no bytes at all.
const QStringList kVersion1 = {
    QStringLiteral("CREATE TABLE cycles(at INTEGER PRIMARY KEY, primary_status INTEGER NOT NULL,"
                   " primary_rtt INTEGER, secondary_status INTEGER, secondary_rtt INTEGER,"
                   " fail_count INTEGER NOT NULL, by_user INTEGER NOT NULL)"),
    QStringLiteral("CREATE TABLE events(id INTEGER PRIMARY KEY, at INTEGER NOT NULL,"
                   " kind TEXT NOT NULL, command TEXT)"),
    QStringLiteral("CREATE INDEX events_at ON events(at)"),
    QStringLiteral("CREATE TABLE outages(id INTEGER PRIMARY KEY, started INTEGER NOT NULL,"
                   " ended INTEGER, failing_cycles INTEGER NOT NULL DEFAULT 0,"
                   " fail_commands INTEGER NOT NULL DEFAULT 0,"
                   " console BLOB NOT NULL DEFAULT x'')"),
    QStringLiteral("CREATE INDEX outages_started ON outages(started)"),
    // One row per hour: the cycles and the cycles without an answer, and per address
    // its answers and their round-trip times.
    QStringLiteral("CREATE TABLE hours(hour INTEGER PRIMARY KEY, cycles INTEGER NOT NULL,"
                   " failures INTEGER NOT NULL, primary_answers INTEGER NOT NULL,"
                   " primary_min INTEGER, primary_median INTEGER, primary_max INTEGER,"
                   " secondary_probes INTEGER NOT NULL, secondary_answers INTEGER NOT NULL,"
                   " secondary_min INTEGER, secondary_median INTEGER, secondary_max INTEGER)"),
};

// A host name's resolved address is mostly the same for months: cycles refer to it by
// number rather than repeat its text.
const QStringList kVersion2 = {
    QStringLiteral("CREATE TABLE addresses(id INTEGER PRIMARY KEY, text TEXT NOT NULL UNIQUE)"),
    QStringLiteral("ALTER TABLE cycles ADD COLUMN primary_resolved INTEGER"),
    QStringLiteral("ALTER TABLE cycles ADD COLUMN secondary_resolved INTEGER"),
    QStringLiteral("ALTER TABLE outages ADD COLUMN resolved TEXT"),
};

// The end of an outage that was still open when the program stopped is its last
// cycle; the mark says that the line was not seen to come back.
const QStringList kVersion3 = {
    QStringLiteral("ALTER TABLE outages ADD COLUMN ended_by_stop INTEGER NOT NULL DEFAULT 0"),
};

// An address that does not answer may get several echoes within one cycle. Older
// cycles, which sent one echo per address probed, leave it NULL.
const QStringList kVersion4 = {
    QStringLiteral("ALTER TABLE cycles ADD COLUMN echoes INTEGER"),
};

// The console was appended with ||, which makes text of bytes. SQLite kept the bytes as
// they came, but the driver read them as UTF-8 and garbled every byte that is not;
// cast back, they read as they came. A store whose text some other tool rewrote
// as it read it holds U+FFFD's own three bytes where bytes were lost, and keeps them:
// nothing tells which byte each stood for.
//
// A monitor that died during an outage saw neither its end nor a stop: the next start
// ends it at its last cycle and marks it so.
const QStringList kVersion5 = {
    QStringLiteral("UPDATE outages SET console = CAST(console AS BLOB)"
                   " WHERE typeof(console) = 'text'"),
    QStringLiteral("ALTER TABLE outages ADD COLUMN ended_unwatched INTEGER NOT NULL DEFAULT 0"),
};

// With a loss or round-trip limit set, a cycle may fail although an address answered,
// or hold an outage where it is: the sentences that say why, and the hold, for each
// cycle; an outage keeps the sentences of the cycle that began it. NULL and 0 where
// no limit decided, which older cycles and outages leave them.
const QStringList kVersion6 = {
    QStringLiteral("ALTER TABLE cycles ADD COLUMN reason TEXT"),
    QStringLiteral("ALTER TABLE cycles ADD COLUMN held INTEGER NOT NULL DEFAULT 0"),
    QStringLiteral("ALTER TABLE outages ADD COLUMN reason TEXT"),
};

// Step n takes the tables from version n - 1 to n.
const QStringList *const kSteps[] = {&kVersion1, &kVersion2, &kVersion3,
                                     &kVersion4, &kVersion5, &kVersion6};
static_assert(std::size(kSteps) == kHistorySchemaVersion);

// Our tables in the order the versions made them: version 1 the first four.
const QStringList kOurTables = {QStringLiteral("cycles"), QStringLiteral("events"),
                                QStringLiteral("outages"), QStringLiteral("hours"),
                                QStringLiteral("addresses")};

// A file without an application_id is ours only when it is empty (a new store) or has
// the tables its version names: before version 3 none was set.
bool HasOurTables(const QSqlDatabase &database, int version)
{
    if (version == 0)
        return SingleValue(database, QStringLiteral("SELECT count(*) FROM sqlite_master"))
                   .toInt() == 0;
    if (version >= 3)
        return false;
    QSqlQuery table = Prepare(
        database,
        QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?"));
    const int tables = version == 1 ? 4 : 5;
    for (int index = 0; index < tables; ++index) {
        Run(table, {kOurTables[index]});
        table.next();
        if (table.value(0).toInt() != 1)
            return false;
    }
    return true;
}

} // namespace

void UpgradeSchema(const QSqlDatabase &database, int from, int to)
{
    SqlTransaction transaction(database);
    for (int version = from + 1; version <= to; ++version) {
        for (const QString &statement : *kSteps[version - 1])
            RunOnce(database, statement);
    }
    if (to >= 3)
        RunOnce(database, QStringLiteral("PRAGMA application_id = %1").arg(kHistoryApplicationId));
    RunOnce(database, QStringLiteral("PRAGMA user_version = %1").arg(to));
    transaction.commit();
}

SchemaState PrepareSchema(const QSqlDatabase &database)
{
    // The first read of the file: a file that is no database fails here.
    const int version = SingleValue(database, QStringLiteral("PRAGMA user_version")).toInt();
    const qint32 id = SingleValue(database, QStringLiteral("PRAGMA application_id")).toInt();
    if (id == 0 ? !HasOurTables(database, version) : id != kHistoryApplicationId)
        return SchemaState::Foreign;
    if (version > kHistorySchemaVersion)
        return SchemaState::Newer;

    // A reader (the command line, the History window) never waits for the writer, and
    // a commit needs no flush to the disk; a power cut may lose the last cycles, never
    // the file.
    RunOnce(database, QStringLiteral("PRAGMA journal_mode = WAL"));
    RunOnce(database, QStringLiteral("PRAGMA synchronous = NORMAL"));
    if (version < kHistorySchemaVersion)
        UpgradeSchema(database, version, kHistorySchemaVersion);
    return SchemaState::Ready;
}
