#include "HistoryStore.h"

#include "Clock.h"
#include "HistoryQueries.h"
#include "HistoryRetention.h"
#include "HistorySchema.h"
#include "LogWriter.h"
#include "MessageBoxes.h"
#include "SqlStatements.h"
#include "StoreStatements.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr qint64 kRetryMs = 60LL * 1000;
// About three hours of one-second cycles, a few hundred bytes each.
constexpr size_t kMostWaiting = 10000;
// How long the last writing at a stop waits for another connection's lock: well
// within the second a stop signal may take.
constexpr int kStopPatienceMs = 300;
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

HistoryStore::HistoryStore(QString path, const Clock &clock, LogWriter &log, MessageBoxes &boxes)
    : m_path(std::move(path)), m_clock(clock), m_log(log), m_boxes(boxes), m_claim(m_path)
{
}

HistoryStore::~HistoryStore()
{
    close();
}

void HistoryStore::addCycle(qint64 atMs, const CycleReport &report, Write when)
{
    record(when, [this, atMs, report] {
        const QVariant secondaryStatus =
            report.secondary ? QVariant(report.secondary->status) : QVariant();
        const QVariant secondaryTrip = report.secondary && report.secondary->status == 0
                                           ? QVariant(report.secondary->roundTripMs)
                                           : QVariant();
        const QVariant secondaryResolved =
            report.secondary ? resolvedId(report.secondary->resolved) : QVariant();
        const QVariant reason = report.reason.isEmpty() ? QVariant() : QVariant(report.reason);
        QSqlQuery &insert = m_statements->insertCycle;
        for (qint64 at = atMs;; ++at) {
            Run(insert,
                {at, report.primary.status,
                 report.primary.status == 0 ? QVariant(report.primary.roundTripMs) : QVariant(),
                 secondaryStatus, secondaryTrip, report.failCount, report.byUser ? 1 : 0,
                 resolvedId(report.primary.resolved), secondaryResolved, report.echoes, reason,
                 report.held ? 1 : 0});
            if (insert.numRowsAffected() > 0)
                break;
        }
        // A held cycle neither failed nor answered: the outage's count holds too.
        if (m_openOutage && !report.answered && !report.held) {
            const QString &resolved = report.primary.resolved;
            Run(m_statements->countFailingCycle,
                {resolved.isEmpty() ? QVariant() : QVariant(resolved), reason, *m_openOutage});
        }
    });
}

void HistoryStore::addEvent(qint64 atMs, HistoryEvent event, const QString &command)
{
    record(Write::Now, [this, atMs, event, command] {
        Run(m_statements->insertEvent, {atMs, EventKind(event), command});
        if (m_openOutage && event == HistoryEvent::FailCommand)
            Run(m_statements->countFailCommand, {*m_openOutage});
    });
}

void HistoryStore::startOutage(qint64 atMs)
{
    record(Write::Now, [this, atMs] {
        Run(m_statements->insertOutage, {atMs});
        m_openOutage = m_statements->insertOutage.lastInsertId().toLongLong();
        m_outageConsoleBytes = 0;
    });
}

void HistoryStore::endOutage(qint64 lengthMs, OutageEnd end)
{
    record(Write::Now, [this, lengthMs, end] {
        if (!m_openOutage)
            return;
        Run(m_statements->endOutage,
            {qMax<qint64>(0, lengthMs), end == OutageEnd::Stop ? 1 : 0, *m_openOutage});
        m_openOutage.reset();
    });
}

void HistoryStore::addConsole(const QByteArray &bytes, Write when)
{
    record(when, [this, bytes] {
        if (!m_openOutage || m_outageConsoleBytes >= kOutageConsoleBytes)
            return;
        const QByteArray kept = bytes.left(kOutageConsoleBytes - m_outageConsoleBytes);
        Run(m_statements->appendConsole, {kept, *m_openOutage});
        m_outageConsoleBytes += kept.size();
    });
}

void HistoryStore::closeLeftOpenOutage()
{
    record(Write::Now, [this] {
        RunOnce(m_connection->database(),
                QStringLiteral("UPDATE outages SET ended = %1, ended_unwatched = 1"
                               " WHERE ended IS NULL")
                    .arg(kLastCycleOfOutage));
        m_openOutage.reset();
    });
}

void HistoryStore::writeIfDue()
{
    if (!m_waiting.empty() && m_clock.monotonicMs() - m_waitingSinceMs >= kWriteWithinMs)
        flush();
}

bool HistoryStore::foldBatch(qint64 nowMs)
{
    // What waits goes first; the retention work is done when the file can be written.
    flush();
    if (!m_waiting.empty())
        return !m_off;
    if (!ready())
        return false;
    try {
        return FoldBatch(m_connection->database(), nowMs);
    } catch (const SqlFailure &failure) {
        if (failure.busy())
            return true;
        failed(failure);
    }
    return false;
}

void HistoryStore::finish()
{
    if (!m_waiting.empty() && ready()) {
        try {
            RunOnce(m_connection->database(),
                    QStringLiteral("PRAGMA busy_timeout = %1").arg(kStopPatienceMs));
        } catch (const SqlFailure &) {
            // Then the writing below fails at once and says so.
        }
    }
    m_finishing = true;
    flush();
    if (!m_waiting.empty())
        warn(QStringLiteral("%1 history records could not be written to %2 before the stop.")
                 .arg(m_waiting.size())
                 .arg(QDir::toNativeSeparators(m_path)));
}

HistoryRange HistoryStore::range(qint64 fromMs, qint64 toMs, int maximumPoints)
{
    flush();
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

void HistoryStore::record(Write when, std::function<void()> work)
{
    if (m_off)
        return;
    if (m_waiting.size() >= kMostWaiting) {
        if (m_dropped++ == 0) {
            m_firstDroppedMs = m_clock.now().toMSecsSinceEpoch();
            warn(QStringLiteral("The history cannot be written to %1 and %2 records wait: newer"
                                " ones are dropped until it can be written again.")
                     .arg(QDir::toNativeSeparators(m_path))
                     .arg(m_waiting.size()));
        }
        return;
    }
    if (m_waiting.empty())
        m_waitingSinceMs = m_clock.monotonicMs();
    m_waiting.push_back(std::move(work));
    if (when == Write::Now)
        flush();
    else
        writeIfDue();
}

void HistoryStore::flush()
{
    if (m_waiting.empty() || !ready())
        return;
    // A transaction that fails undoes what its work did to the file: undo it here too.
    const std::optional<qint64> openOutage = m_openOutage;
    const qint64 outageConsoleBytes = m_outageConsoleBytes;
    try {
        SqlTransaction transaction(m_connection->database(), SqlTransaction::Lock::Immediate);
        for (const std::function<void()> &work : m_waiting)
            work();
        transaction.commit();
    } catch (const SqlFailure &failure) {
        m_openOutage = openOutage;
        m_outageConsoleBytes = outageConsoleBytes;
        m_addressIds.clear();
        // Another connection holds the lock: the work waits for the next try.
        if (!failure.busy())
            failed(failure);
        return;
    }
    m_waiting.clear();
    m_failureTold = false;
    if (m_dropped > 0) {
        warn(QStringLiteral("The history lost %1 records from %2 on, while it could not be"
                            " written.")
                 .arg(m_dropped)
                 .arg(QDateTime::fromMSecsSinceEpoch(m_firstDroppedMs).toString(Qt::ISODate)));
        m_dropped = 0;
    }
}

bool HistoryStore::ready()
{
    if (m_off)
        return false;
    if (m_connection) {
        if (m_claim.sameFile())
            return true;
        warn(QStringLiteral("The history file %1 was deleted or replaced while Corvane ran. A new"
                            " one was started.")
                 .arg(QDir::toNativeSeparators(m_path)));
        close();
        m_retryAtMs.reset();
    }
    if (m_retryAtMs && m_clock.monotonicMs() < *m_retryAtMs)
        return false;
    m_retryAtMs = m_clock.monotonicMs() + kRetryMs;
    if (const std::optional<QString> reason = m_claim.notAStore()) {
        switchOff(*reason);
        return false;
    }
    try {
        if (!QDir().mkpath(QFileInfo(m_path).absolutePath()))
            throw SqlFailure{QSqlError(QStringLiteral("its folder cannot be made"), QString(),
                                       QSqlError::ConnectionError)};
        bool taken = false;
        if (const std::optional<QString> reason = m_claim.lock(taken)) {
            if (taken) {
                switchOff(*reason);
                return false;
            }
            throw SqlFailure{QSqlError(*reason, QString(), QSqlError::ConnectionError)};
        }
        open();
        return true;
    } catch (const SqlFailure &failure) {
        if (failure.busy()) {
            close();
            m_retryAtMs.reset();
            return false;
        }
        failed(failure);
    }
    // A file moved aside makes way for a new one at once.
    return m_connection != nullptr;
}

void HistoryStore::open()
{
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
    m_claim.rememberFile();
}

void HistoryStore::close()
{
    m_statements.reset();
    m_connection.reset();
    m_addressIds.clear();
    m_openOutage.reset();
}

void HistoryStore::switchOff(const QString &reason)
{
    m_off = true;
    m_waiting.clear();
    warn(QStringLiteral("The history file %1 is not used: %2. The watch goes on without history.")
             .arg(QDir::toNativeSeparators(m_path), reason));
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
    if (m_finishing) {
        qWarning("%s", qUtf8Printable(text));
        return;
    }
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
