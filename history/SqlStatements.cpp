#include "SqlStatements.h"

#include <QAtomicInteger>
#include <QUrl>

namespace {

constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteNotADatabase = 26;

QString UniqueConnectionName()
{
    static QAtomicInteger<quint64> next;
    return QStringLiteral("corvane-history-%1").arg(next.fetchAndAddRelaxed(1));
}

} // namespace

int SqlFailure::primaryCode() const
{
    return error.nativeErrorCode().toInt() & 0xff;
}

bool SqlFailure::damagedFile() const
{
    return primaryCode() == kSqliteCorrupt || primaryCode() == kSqliteNotADatabase;
}

bool SqlFailure::busy() const
{
    return primaryCode() == kSqliteBusy || primaryCode() == kSqliteLocked;
}

SqliteConnection::SqliteConnection(const QString &path, Access access)
    : m_name(UniqueConnectionName())
{
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    database.setDatabaseName(path);
    // A reader must never create the file nor wait for the writer. A writer never waits
    // for a lock either: Qt's default of five seconds would hold the watch that long.
    if (access == Access::ReadWrite)
        database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
    if (access == Access::ReadOnly)
        database.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (access == Access::Unchanging) {
        database.setDatabaseName(QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded()) +
                                 QStringLiteral("?immutable=1"));
        database.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
    }
}

SqliteConnection::~SqliteConnection()
{
    {
        QSqlDatabase database = QSqlDatabase::database(m_name, false);
        database.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

QSqlDatabase SqliteConnection::database() const
{
    return QSqlDatabase::database(m_name, false);
}

void SqliteConnection::open()
{
    QSqlDatabase connection = database();
    if (!connection.open())
        throw SqlFailure{connection.lastError()};
}

QSqlQuery Prepare(const QSqlDatabase &database, const QString &sql)
{
    QSqlQuery query(database);
    // Rows are read once, front to back: Qt need not keep them for going back.
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        throw SqlFailure{query.lastError()};
    return query;
}

void Run(QSqlQuery &query, const QVariantList &values)
{
    int position = 0;
    for (const QVariant &value : values)
        query.bindValue(position++, value);
    if (!query.exec())
        throw SqlFailure{query.lastError()};
}

QSqlQuery RunOnce(const QSqlDatabase &database, const QString &sql, const QVariantList &values)
{
    QSqlQuery query = Prepare(database, sql);
    Run(query, values);
    query.next();
    return query;
}

QVariant SingleValue(const QSqlDatabase &database, const QString &sql, const QVariantList &values)
{
    const QSqlQuery query = RunOnce(database, sql, values);
    return query.isValid() ? query.value(0) : QVariant();
}

SqlTransaction::SqlTransaction(const QSqlDatabase &database, Lock lock) : m_database(database)
{
    if (lock == Lock::Immediate)
        RunOnce(m_database, QStringLiteral("BEGIN IMMEDIATE"));
    else if (!m_database.transaction())
        throw SqlFailure{m_database.lastError()};
}

SqlTransaction::~SqlTransaction()
{
    if (m_open)
        m_database.rollback();
}

void SqlTransaction::commit()
{
    if (!m_database.commit())
        throw SqlFailure{m_database.lastError()};
    m_open = false;
}
