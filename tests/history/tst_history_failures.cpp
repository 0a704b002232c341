#include "HistoryRig.h"

#include <QtTest>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

// A store that cannot be written never stops the watch: it is told once per run of
// failures, in the log and in a "History" warning box, and tried again a minute later.
class HistoryFailuresTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void fullDiskToldOncePerRunOfFailures();
    void readOnlyFolder_data();
    void readOnlyFolder();
    void unreadableFile_data();
    void unreadableFile();
    void pathThatHoldsNoStore_data();
    void pathThatHoldsNoStore();
    void secondMonitorRunsWithoutHistory();
    void lockHeldElsewhereOnlyDelaysTheWriting();
    void storeDeletedOrReplacedIsStartedAgain_data();
    void storeDeletedOrReplacedIsStartedAgain();

private:
    // A small file system of its own, in this process's mount namespace.
    bool mountTmpfs(const QString &path, const char *options, unsigned long flags = 0);
    static void verifyOneWarning(const HistoryRig &rig);

    bool m_mountNamespace = false;
};

void HistoryFailuresTest::initTestCase()
{
    // Mounts made here stay in this process and go with it.
    m_mountNamespace = ::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0 &&
                       ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

bool HistoryFailuresTest::mountTmpfs(const QString &path, const char *options, unsigned long flags)
{
    return m_mountNamespace &&
           ::mount("tmpfs", QFile::encodeName(path).constData(), "tmpfs", flags, options) == 0;
}

void HistoryFailuresTest::verifyOneWarning(const HistoryRig &rig)
{
    QCOMPARE(rig.boxes.shown.size(), 1);
    QCOMPARE(rig.boxes.shown[0].title, QStringLiteral("History"));
    QCOMPARE(rig.boxes.shown[0].style, BoxStyle::OkExclamation);
    QCOMPARE(rig.log.entries.size(), 1);
    QCOMPARE(rig.log.entries[0].message, rig.boxes.shown[0].text);
    QVERIFY2(rig.log.entries[0].message.contains(rig.path), qPrintable(rig.log.entries[0].message));
}

namespace {

// Takes what space is left, in a file whose removal gives it back.
void FillDisk(const QString &path)
{
    QFile filler(path);
    QVERIFY(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
}

} // namespace

void HistoryFailuresTest::fullDiskToldOncePerRunOfFailures()
{
    QTemporaryDir folder;
    if (!mountTmpfs(folder.path(), "size=256k"))
        QSKIP("Mounting a small file system needs root and a mount namespace of its own");
    const QString filler = folder.filePath(QStringLiteral("filler"));
    {
        HistoryRig rig(folder.path());
        rig.start();
        rig.answer(5);
        FillDisk(filler);
        for (int cycle = 0; cycle < 100; ++cycle)
            rig.fail();
        verifyOneWarning(rig);

        // Space again: within a minute the store is back, and a new run of failures
        // is told again.
        QFile::remove(filler);
        rig.clock.advanceMs(60LL * 1000);
        rig.answer(5);
        const qint64 backMs = rig.nowMs() - 1000;
        QCOMPARE(rig.store.range(backMs, backMs + 1, 1).cycles, 1);
        QCOMPARE(rig.boxes.shown.size(), 1);
        FillDisk(filler);
        for (int cycle = 0; cycle < 100; ++cycle)
            rig.answer(5);
        QCOMPARE(rig.boxes.shown.size(), 2);
        QCOMPARE(rig.log.entries.size(), 2);
    }
    QVERIFY(::umount2(QFile::encodeName(folder.path()).constData(), MNT_DETACH) == 0);
}

void HistoryFailuresTest::readOnlyFolder_data()
{
    QTest::addColumn<bool>("storeThere");
    QTest::addRow("no store yet") << false;
    QTest::addRow("a store written before") << true;
}

void HistoryFailuresTest::readOnlyFolder()
{
    QFETCH(bool, storeThere);
    QTemporaryDir folder;
    const bool mounted = mountTmpfs(folder.path(), "size=1m");
    if (storeThere) {
        HistoryRig before(folder.path());
        before.start();
        before.answer(5);
    }
    // Root writes through a folder's permissions; not through a read-only mount.
    if (mounted) {
        QVERIFY(::mount(nullptr, QFile::encodeName(folder.path()).constData(), nullptr,
                        MS_REMOUNT | MS_RDONLY, nullptr) == 0);
    } else if (::geteuid() == 0) {
        QSKIP("Root needs a read-only mount, in a mount namespace it could not make");
    } else {
        QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner));
    }

    {
        HistoryRig rig(folder.path());
        rig.start();
        for (int cycle = 0; cycle < 5; ++cycle)
            rig.fail(false, 30LL * 1000);
        rig.recorder.watchStopped();
        verifyOneWarning(rig);
    }
    if (mounted)
        QVERIFY(::umount2(QFile::encodeName(folder.path()).constData(), MNT_DETACH) == 0);
    else
        QFile::setPermissions(folder.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void HistoryFailuresTest::unreadableFile_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("movedAside");

    QTest::addRow("garbage")
        << QByteArray("This is the router's manual, not a database.\n").repeated(100) << true;
    QTest::addRow("another program's database") << QByteArray("create table notes(text);") << true;
    QTest::addRow("another program's, at our user_version")
        << QByteArray("create table notes(text);pragma user_version = 2;") << true;
    QTest::addRow("another program's application_id")
        << QByteArray("create table cycles(at);create table events(at);create table outages(at);"
                      "create table hours(hour);pragma user_version = 1;"
                      "pragma application_id = 1;")
        << true;
    QTest::addRow("no application_id, a version that always sets it")
        << QByteArray("pragma user_version = 99;") << true;
    QTest::addRow("a newer store")
        << QByteArray("pragma user_version = 99;pragma application_id = 1129469518;") << false;
}

void HistoryFailuresTest::unreadableFile()
{
    QFETCH(QByteArray, contents);
    QFETCH(bool, movedAside);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("history.sqlite"));
    if (contents.startsWith("This")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    } else {
        SqliteConnection connection(path, SqliteConnection::Access::ReadWrite);
        connection.open();
        for (const QByteArray &statement : contents.split(';'))
            if (!statement.isEmpty())
                RunOnce(connection.database(), QString::fromLatin1(statement));
    }
    QFile original(path);
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray originalBytes = original.readAll();

    HistoryRig rig(folder.path());
    rig.start();
    rig.answer(5);
    rig.answer(5);
    verifyOneWarning(rig);

    const QStringList aside =
        QDir(folder.path()).entryList({QStringLiteral("history.sqlite.damaged-*")});
    if (!movedAside) {
        QVERIFY(aside.isEmpty());
        QFile kept(path);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), originalBytes);
        return;
    }
    // Named by the time it was found, and kept as it was; a new store took its place.
    QCOMPARE(aside, QStringList{QStringLiteral("history.sqlite.damaged-20260101-120000")});
    QFile moved(folder.filePath(aside[0]));
    QVERIFY(moved.open(QIODevice::ReadOnly));
    QCOMPARE(moved.readAll(), originalBytes);
    QCOMPARE(rig.store.range(0, rig.nowMs(), 1).cycles, 2);
}

// Like the log and the settings file, only a regular file, or a link to one, is used;
// SQLite would make its journal beside anything else, such as /dev/null-wal.
void HistoryFailuresTest::pathThatHoldsNoStore_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("used");

    QTest::addRow("a folder") << "folder" << false;
    QTest::addRow("a FIFO") << "fifo" << false;
    QTest::addRow("a link to a FIFO") << "link to fifo" << false;
    QTest::addRow("a link to a device") << "link to /dev/null" << false;
    QTest::addRow("a link to a regular file") << "link to file" << true;
}

void HistoryFailuresTest::pathThatHoldsNoStore()
{
    QFETCH(QString, kind);
    QFETCH(bool, used);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("history.sqlite"));
    const QString target = kind.endsWith(QLatin1String("/dev/null"))
                               ? QStringLiteral("/dev/null")
                               : folder.filePath(QStringLiteral("target"));
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(path));
    if (kind.endsWith(QLatin1String("fifo")))
        QVERIFY(::mkfifo(QFile::encodeName(kind == QLatin1String("fifo") ? path : target), 0600) ==
                0);
    if (kind == QLatin1String("link to file"))
        QVERIFY(QFile(target).open(QIODevice::WriteOnly));
    if (kind.startsWith(QLatin1String("link")))
        QVERIFY(QFile::link(target, path));

    HistoryRig rig(folder.path());
    rig.start();
    rig.answer(5);
    rig.clock.advanceMs(60LL * 1000);
    rig.answer(5);
    for (const char *suffix : {"-journal", "-wal", "-shm"}) {
        QVERIFY(used || !QFile::exists(target + QLatin1String(suffix)));
        QVERIFY(used || !QFile::exists(path + QLatin1String(suffix)));
    }
    if (used) {
        QVERIFY(rig.log.entries.isEmpty());
        QCOMPARE(QFileInfo(path).symLinkTarget(), target);
        QCOMPARE(rig.store.range(0, rig.nowMs(), 1).cycles, 2);
        return;
    }
    verifyOneWarning(rig);
    QVERIFY2(rig.log.entries[0].message.contains(QLatin1String("without history")),
             qPrintable(rig.log.entries[0].message));
}

// The lock beside the store keeps a second monitor on the same store from mixing its
// cycles into the first one's and closing its outages.
void HistoryFailuresTest::secondMonitorRunsWithoutHistory()
{
    QTemporaryDir folder;
    HistoryRig first(folder.path());
    first.start();
    first.fail();
    {
        HistoryRig second(folder.path());
        second.start();
        second.answer(5);
        second.answer(5);
        verifyOneWarning(second);
        QVERIFY(second.log.entries[0].message.contains(QLatin1String("another Corvane")));
        QCOMPARE(second.store.waiting(), 0);
    }
    first.fail();
    const QList<OutageEntry> outages = first.store.range(0, first.nowMs(), 10).outages;
    QCOMPARE(outages.size(), 1);
    QVERIFY(!outages[0].endMs);
    QCOMPARE(first.store.range(0, first.nowMs(), 10).cycles, 2);
    QVERIFY(first.log.entries.isEmpty());
}

// Another program holding the write lock (the sqlite3 shell in a transaction) makes
// the store wait, not the watch: every cycle returns at once, and what waited is
// written, in order, once the lock goes.
void HistoryFailuresTest::lockHeldElsewhereOnlyDelaysTheWriting()
{
    QTemporaryDir folder;
    HistoryRig rig(folder.path());
    rig.start();
    rig.answer(5);
    {
        SqliteConnection other(rig.path, SqliteConnection::Access::ReadWrite);
        other.open();
        RunOnce(other.database(), QStringLiteral("BEGIN EXCLUSIVE"));
        for (int cycle = 0; cycle < 15; ++cycle)
            rig.fail();
        rig.answer(5);
        // Queued rather than waited for: 16 cycles, the outage's start and its end. The
        // retention work waits too.
        QCOMPARE(rig.store.waiting(), 18);
        QVERIFY(rig.store.foldBatch(rig.nowMs()));
        RunOnce(other.database(), QStringLiteral("COMMIT"));
    }
    rig.answer(5);
    QCOMPARE(rig.store.waiting(), 0);
    const HistoryRange range = rig.store.range(0, rig.nowMs(), 10);
    QCOMPARE(range.cycles, 18);
    QCOMPARE(range.outages.size(), 1);
    QCOMPARE(range.outages[0].failingCycles, 15);
    QCOMPARE(*range.outages[0].endMs - range.outages[0].startMs, 15 * 1000);
    QVERIFY(rig.log.entries.isEmpty());
}

void HistoryFailuresTest::storeDeletedOrReplacedIsStartedAgain_data()
{
    QTest::addColumn<bool>("replaced");

    QTest::addRow("deleted") << false;
    QTest::addRow("replaced by another store") << true;
}

void HistoryFailuresTest::storeDeletedOrReplacedIsStartedAgain()
{
    QFETCH(bool, replaced);
    QTemporaryDir folder;
    HistoryRig rig(folder.path());
    rig.start();
    rig.answer(5);
    for (const char *suffix : {"", "-wal", "-shm"})
        QVERIFY(QFile::remove(rig.path + QLatin1String(suffix)));
    if (replaced) {
        const QString elsewhere = folder.filePath(QStringLiteral("elsewhere"));
        {
            HistoryRig other(elsewhere);
            other.start();
            other.answer(5);
            other.answer(5);
            other.recorder.watchStopped();
        }
        QVERIFY(QFile::rename(elsewhere + QStringLiteral("/history.sqlite"), rig.path));
    }
    for (int cycle = 0; cycle < 3; ++cycle)
        rig.answer(5);
    // Noticed at the next write, once these rows have waited their time.
    rig.clock.advanceMs(HistoryStore::kWriteWithinMs);
    rig.recorder.watchTicked();
    QCOMPARE(rig.log.entries.size(), 1);
    QVERIFY2(rig.log.entries[0].message.contains(QLatin1String("deleted or replaced")),
             qPrintable(rig.log.entries[0].message));
    QCOMPARE(rig.value(QStringLiteral("SELECT count(*) FROM cycles")).toInt(), replaced ? 5 : 3);
}

QTEST_GUILESS_MAIN(HistoryFailuresTest)
#include "tst_history_failures.moc"
