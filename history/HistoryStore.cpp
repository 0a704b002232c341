#include "HistoryStore.h"

#include "Clock.h"
#include "HistoryQueries.h"
#include "HistoryRetention.h"
#include "HistorySchema.h"
#include "LogWriter.h"
#include "MessageBoxes.h"
#include "SqlStatements.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr qint64 kRetryMs = 60LL * 1000;
constexpr qint64 kOutageConsoleBytes = 2048;
const QString kBoxTitle = QStringLiteral("History");

QString Describe(const SqlFailure &failure)
{
    const QString text = failure.error.databaseText();
    return text.isEmpty() ? failure.error.text() : text;
}

QString EventKind(HistoryEvent event)
{
    switch (event) {
    case HistoryEvent::Start:
        return QStringLiteral("start");
    case HistoryEvent::Stop:
        return QStringLiteral("stop");
    case HistoryEvent::FailCommand:
        return QStringLiteral("fail");
    case HistoryEvent::FailTest:
        return QStringLiteral("fail test");
    case HistoryEvent::Scheduled:
        return QStringLiteral("scheduled");
    }
    return {};
}

} // namespace

// Prepared once per opened file: a cycle a second must not parse its SQL each time.
struct HistoryStore::Statements
{
    explicit Statements(const QSqlDatabase &database)
        : insertCycle(
              Prepare(database, QStringLiteral("INSERT OR IGNORE INTO cycles(at, primary_status,"
                                               " primary_rtt, secondary_status, secondary_rtt,"
                                               " fail_count, by_user, primary_resolved,"
                                               " secondary_resolved, echoes)"
                                               " VALUES(?,?,?,?,?,?,?,?,?,?)"))),
          insertAddress(
              Prepare(database, QStringLiteral("INSERT OR IGNORE INTO addresses(text) VALUES(?)"))),
          selectAddress(
              Prepare(database, QStringLiteral("SELECT id FROM addresses WHERE text = ?"))),
          insertEvent(Prepare(
              database, QStringLiteral("INSERT INTO events(at, kind, command) VALUES(?,?,?)"))),
          insertOutage(Prepare(database, QStringLiteral("INSERT INTO outages(started) VALUES(?)"))),
          countFailingCycle(
              Prepare(database, QStringLiteral("UPDATE outages SET failing_cycles ="
                                               " failing_cycles + 1, resolved ="
                                               " coalesce(resolved, ?) WHERE id = ?"))),
          countFailCommand(Prepare(database, QStringLiteral("UPDATE outages SET fail_commands ="
                                                            " fail_commands + 1 WHERE id = ?"))),
          appendConsole(Prepare(
              database, QStringLiteral("UPDATE outages SET console = console || ? WHERE id = ?"))),
          endOutage(Prepare(database, QStringLiteral("UPDATE outages SET ended = ? WHERE id = ?")))
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

HistoryStore::HistoryStore(QString path, const Clock &clock, LogWriter &log, MessageBoxes &boxes)
    : m_path(std::move(path)), m_clock(clock), m_log(log), m_boxes(boxes)
{
}

HistoryStore::~HistoryStore()
{
    close();
}

void HistoryStore::addCycle(qint64 atMs, const CycleReport &report)
{
    guarded([&] {
        const QVariant secondaryStatus =
            report.secondary ? QVariant(report.secondary->status) : QVariant();
        const QVariant secondaryTrip = report.secondary && report.secondary->status == 0
                                           ? QVariant(report.secondary->roundTripMs)
                                           : QVariant();
        const QVariant secondaryResolved =
            report.secondary ? resolvedId(report.secondary->resolved) : QVariant();
        QSqlQuery &insert = m_statements->insertCycle;
        for (qint64 at = atMs;; ++at) {
            Run(insert,
                {at, report.primary.status,
                 report.primary.status == 0 ? QVariant(report.primary.roundTripMs) : QVariant(),
                 secondaryStatus, secondaryTrip, report.failCount, report.byUser ? 1 : 0,
                 resolvedId(report.primary.resolved), secondaryResolved, report.echoes});
            if (insert.numRowsAffected() > 0)
                break;
        }
        if (m_openOutage && !report.answered) {
            const QString &resolved = report.primary.resolved;
            Run(m_statements->countFailingCycle,
                {resolved.isEmpty() ? QVariant() : QVariant(resolved), *m_openOutage});
        }
    });
}

void HistoryStore::addEvent(qint64 atMs, HistoryEvent event, const QString &command)
{
    guarded([&] {
        Run(m_statements->insertEvent, {atMs, EventKind(event), command});
        if (m_openOutage && event == HistoryEvent::FailCommand)
            Run(m_statements->countFailCommand, {*m_openOutage});
    });
}

void HistoryStore::startOutage(qint64 atMs)
{
    guarded([&] {
        Run(m_statements->insertOutage, {atMs});
        m_openOutage = m_statements->insertOutage.lastInsertId().toLongLong();
        m_outageConsoleBytes = 0;
    });
}

void HistoryStore::endOutage(qint64 atMs)
{
    guarded([&] {
        if (!m_openOutage)
            return;
        Run(m_statements->endOutage, {atMs, *m_openOutage});
        m_openOutage.reset();
    });
}

void HistoryStore::addConsole(const QByteArray &bytes)
{
    guarded([&] {
        if (!m_openOutage || m_outageConsoleBytes >= kOutageConsoleBytes)
            return;
        const QByteArray kept = bytes.left(kOutageConsoleBytes - m_outageConsoleBytes);
        Run(m_statements->appendConsole, {kept, *m_openOutage});
        m_outageConsoleBytes += kept.size();
    });
}

void HistoryStore::closeLeftOpenOutage()
{
    guarded([&] {
        RunOnce(m_connection->database(),
                QStringLiteral("UPDATE outages SET ended = max(started, coalesce((SELECT max(at)"
                               " FROM cycles), started)) WHERE ended IS NULL"));
        m_openOutage.reset();
    });
}

bool HistoryStore::foldBatch(qint64 nowMs)
{
    bool more = false;
    guarded([&] { more = FoldBatch(m_connection->database(), nowMs); });
    return more;
}

HistoryRange HistoryStore::range(qint64 fromMs, qint64 toMs, int maximumPoints)
{
    if (ready()) {
        try {
            return ReadRange(m_connection->database(), fromMs, toMs, maximumPoints);
        } catch (const SqlFailure &) {
            // A reading that fails fails alike on the next write, which tells the user.
        }
    }
    HistoryRange empty;
    empty.fromMs = fromMs;
    empty.toMs = toMs;
    return empty;
}

bool HistoryStore::ready()
{
    if (m_connection)
        return true;
    if (m_retryAtMs && m_clock.monotonicMs() < *m_retryAtMs)
        return false;
    m_retryAtMs = m_clock.monotonicMs() + kRetryMs;
    try {
        open();
        return true;
    } catch (const SqlFailure &failure) {
        failed(failure);
    }
    // A file moved aside makes way for a new one at once.
    if (m_connection)
        return true;
    return false;
}

void HistoryStore::open()
{
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath()))
        throw SqlFailure{QSqlError(QStringLiteral("its folder cannot be made"), QString(),
                                   QSqlError::ConnectionError)};
    auto connection =
        std::make_unique<SqliteConnection>(m_path, SqliteConnection::Access::ReadWrite);
    connection->open();
    switch (PrepareSchema(connection->database())) {
    case SchemaState::Ready:
        break;
    case SchemaState::Newer:
        throw SqlFailure{QSqlError(QStringLiteral("it was written by a newer Corvane"), QString(),
                                   QSqlError::UnknownError)};
    case SchemaState::Foreign:
        connection.reset();
        if (!moveAside(QStringLiteral("it holds another program's tables")))
            throw SqlFailure{QSqlError(QStringLiteral("it cannot be moved aside"), QString(),
                                       QSqlError::ConnectionError)};
        open();
        return;
    }
    const QSqlDatabase database = connection->database();
    m_statements = std::make_unique<Statements>(database);
    const QSqlQuery outage = RunOnce(database, QStringLiteral("SELECT id, length(console) FROM"
                                                              " outages WHERE ended IS NULL"
                                                              " ORDER BY started DESC LIMIT 1"));
    m_openOutage.reset();
    if (outage.isValid()) {
        m_openOutage = outage.value(0).toLongLong();
        m_outageConsoleBytes = outage.value(1).toLongLong();
    }
    m_connection = std::move(connection);
}

void HistoryStore::close()
{
    m_statements.reset();
    m_connection.reset();
    m_addressIds.clear();
    m_openOutage.reset();
}

template <typename Work> void HistoryStore::guarded(Work &&work)
{
    if (!ready())
        return;
    try {
        work();
        m_failureTold = false;
    } catch (const SqlFailure &failure) {
        failed(failure);
    }
}

void HistoryStore::failed(const SqlFailure &failure)
{
    close();
    if (failure.damagedFile()) {
        if (!moveAside(Describe(failure)))
            return;
        try {
            open();
            return;
        } catch (const SqlFailure &again) {
            close();
            tell(again);
            return;
        }
    }
    tell(failure);
}

void HistoryStore::tell(const SqlFailure &failure)
{
    if (m_failureTold)
        return;
    m_failureTold = true;
    warn(QStringLiteral("The history cannot be written to %1: %2. The watch goes on without it.")
             .arg(QDir::toNativeSeparators(m_path), Describe(failure)));
}

bool HistoryStore::moveAside(const QString &reason)
{
    const QString aside =
        m_path + m_clock.now().toString(QStringLiteral("'.damaged-'yyyyMMdd-HHmmss"));
    // The journal belongs to the file it was written for; the index of shared memory
    // is rebuilt by whoever opens the file next.
    const bool moved = QFile::rename(m_path, aside);
    QFile::rename(m_path + QStringLiteral("-wal"), aside + QStringLiteral("-wal"));
    QFile::remove(m_path + QStringLiteral("-shm"));
    if (!moved) {
        if (!m_failureTold)
            warn(QStringLiteral("The history file %1 cannot be read (%2), nor moved aside. The"
                                " watch goes on without it.")
                     .arg(QDir::toNativeSeparators(m_path), reason));
        m_failureTold = true;
        return false;
    }
    warn(QStringLiteral("The history file %1 cannot be read (%2). It was moved to %3 and a new"
                        " one was started.")
             .arg(QDir::toNativeSeparators(m_path), reason, QDir::toNativeSeparators(aside)));
    return true;
}

void HistoryStore::warn(const QString &text)
{
    m_log.WriteLog(text, true, true, kSystemMessage);
    m_boxes.show(text, kBoxTitle, BoxStyle::OkExclamation);
}

QVariant HistoryStore::resolvedId(const QString &address)
{
    if (address.isEmpty())
        return {};
    if (const auto known = m_addressIds.constFind(address); known != m_addressIds.cend())
        return QVariant(*known);
    Run(m_statements->insertAddress, {address});
    Run(m_statements->selectAddress, {address});
    m_statements->selectAddress.next();
    const qint64 id = m_statements->selectAddress.value(0).toLongLong();
    m_statements->selectAddress.finish();
    m_addressIds.insert(address, id);
    return QVariant(id);
}
