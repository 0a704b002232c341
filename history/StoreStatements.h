#pragma once

#include "HistoryStore.h"
#include "SqlStatements.h"

// Prepared once per opened file: a cycle a second must not parse its SQL each time.
struct HistoryStore::Statements
{
    explicit Statements(const QSqlDatabase &database)
        : insertCycle(
              Prepare(database, QStringLiteral("INSERT OR IGNORE INTO cycles(at, primary_status,"
                                               " primary_rtt, secondary_status, secondary_rtt,"
                                               " fail_count, by_user, primary_resolved,"
                                               " secondary_resolved, echoes, reason, held)"
                                               " VALUES(?,?,?,?,?,?,?,?,?,?,?,?)"))),
          insertAddress(
              Prepare(database, QStringLiteral("INSERT OR IGNORE INTO addresses(text) VALUES(?)"))),
          selectAddress(
              Prepare(database, QStringLiteral("SELECT id FROM addresses WHERE text = ?"))),
          insertEvent(Prepare(
              database, QStringLiteral("INSERT INTO events(at, kind, command) VALUES(?,?,?)"))),
          insertOutage(Prepare(database, QStringLiteral("INSERT INTO outages(started) VALUES(?)"))),
          // The outage keeps the reason of its first cycle, the one that began it: every
          // value on the right is the row's before the update.
          countFailingCycle(
              Prepare(database, QStringLiteral("UPDATE outages SET failing_cycles ="
                                               " failing_cycles + 1, resolved ="
                                               " coalesce(resolved, ?), reason = CASE WHEN"
                                               " failing_cycles = 0 THEN ? ELSE reason END"
                                               " WHERE id = ?"))),
          countFailCommand(Prepare(database, QStringLiteral("UPDATE outages SET fail_commands ="
                                                            " fail_commands + 1 WHERE id = ?"))),
          // || makes text of its bytes; the cast keeps them the bytes they are.
          appendConsole(Prepare(database, QStringLiteral("UPDATE outages SET console ="
                                                         " CAST(console || ? AS BLOB)"
                                                         " WHERE id = ?"))),
          endOutage(Prepare(database, QStringLiteral("UPDATE outages SET ended = started + ?,"
                                                     " ended_by_stop = ? WHERE id = ?")))
    {
    }

    QSqlQuery insertCycle;
    QSqlQuery insertAddress;
    QSqlQuery selectAddress;
    QSqlQuery insertEvent;
    QSqlQuery insertOutage;
    QSqlQuery countFailingCycle;
    QSqlQuery countFailCommand;
    QSqlQuery appendConsole;
    QSqlQuery endOutage;
};
