#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

// A statement that failed, with what SQLite said. The history code throws it from
// deep inside a write or a fold and catches it in one place, where the store decides
// whether the file is damaged, full or out of reach.
struct SqlFailure
{
    QSqlError error;

    // SQLite's primary result code (extended codes carry it in their low byte).
    int primaryCode() const;
    // A damaged file, or one that is no database at all.
    bool damagedFile() const;
    // Another connection holds the lock: the same work goes through later.
    bool busy() const;
};

// An SQLite file opened through Qt SQL under a connection name of its own, so that a
// reader and a writer can live in one process; closed and forgotten with the object.
// Every query on it must end before it does. A writer never waits for a lock that
// another connection holds: its statement fails as busy() at once.
class SqliteConnection
{
public:
    enum class Access
    {
        ReadWrite,
        ReadOnly,
        // Read as a file that nobody writes while it is open: without the write-ahead
        // and shared-memory files, and without taking a lock.
        Unchanging,
    };
    SqliteConnection(const QString &path, Access access);
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection &) = delete;
    SqliteConnection &operator=(const SqliteConnection &) = delete;

    QSqlDatabase database() const;
    // Throws SqlFailure when the file cannot be opened.
    void open();

private:
    QString m_name;
};

// Prepares a statement; throws SqlFailure when SQLite refuses it.
QSqlQuery Prepare(const QSqlDatabase &database, const QString &sql);
// Runs a prepared statement with these values in place of its placeholders, in order.
// Only plain "?" placeholders: Qt counts a numbered one as often as it occurs.
void Run(QSqlQuery &query, const QVariantList &values = {});
// Runs one statement once and returns it positioned on its first row, if any.
QSqlQuery RunOnce(const QSqlDatabase &database, const QString &sql,
                  const QVariantList &values = {});
// The first column of the first row, or a null value when there is none.
QVariant SingleValue(const QSqlDatabase &database, const QString &sql,
                     const QVariantList &values = {});

// Runs its statements in one transaction, rolled back unless commit() is reached.
class SqlTransaction
{
public:
    enum class Lock
    {
        // The write lock is taken at the first write.
        Deferred,
        // Taken at the start, so that a lock held elsewhere fails the start and no
        // work is done in vain.
        Immediate,
    };
    explicit SqlTransaction(const QSqlDatabase &database, Lock lock = Lock::Deferred);
    ~SqlTransaction();
    SqlTransaction(const SqlTransaction &) = delete;
    SqlTransaction &operator=(const SqlTransaction &) = delete;
    void commit();

private:
    QSqlDatabase m_database;
    bool m_open = true;
};
