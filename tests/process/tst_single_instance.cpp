#include "SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/wait.h>
#include <unistd.h>

namespace {

// Runs body in a child process and returns its exit status. The child leaves with
// _exit, so it never runs destructors: a lock it took stays behind as after a crash.
template <typename Body> int InChildProcess(Body body)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(body());
    int status = -1;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_folder;

private Q_SLOTS:
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_folder->isValid());
    }

    // However old its lock file, a running copy holds the lock against copies in
    // this process or another until it ends.
    void otherCopiesRefusedUntilFirstEnds()
    {
        auto first = std::make_unique<SingleInstance>(m_folder->path());
        QVERIFY(first->tryAcquire());
        const QStringList files = QDir(m_folder->path()).entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        QFile lockFile(m_folder->filePath(files.first()));
        QVERIFY(lockFile.open(QIODevice::ReadWrite));
        QVERIFY(lockFile.setFileTime(QDateTime::currentDateTime().addDays(-2),
                                     QFileDevice::FileModificationTime));
        lockFile.close();
        const QString folder = m_folder->path();
        QCOMPARE(InChildProcess([&] { return SingleInstance(folder).tryAcquire() ? 1 : 0; }), 0);
        SingleInstance second(folder);
        QVERIFY(!second.tryAcquire());
        first.reset();
        QVERIFY(second.tryAcquire());
    }

    void lockOfACrashedCopyTakenOver()
    {
        const QString folder = m_folder->path();
        // Never destroyed: the child ends holding the lock, as a crashed copy would.
        QCOMPARE(InChildProcess([&] { return (new SingleInstance(folder))->tryAcquire() ? 1 : 0; }),
                 1);
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 1);
        SingleInstance next(folder);
        QVERIFY(next.tryAcquire());
    }

    // A first run has no settings folder yet: the lock makes it, and still counts.
    void missingFolderIsMade()
    {
        const QString folder = m_folder->filePath(QStringLiteral("config/nested"));
        SingleInstance first(folder);
        QVERIFY(first.tryAcquire());
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("Corvane.lock")});
        QVERIFY(!SingleInstance(folder).tryAcquire());
    }

    void unusableFolderDoesNotStopTheProgram()
    {
        QFile plainFile(m_folder->filePath(QStringLiteral("file")));
        QVERIFY(plainFile.open(QIODevice::WriteOnly));
        SingleInstance instance(m_folder->filePath(QStringLiteral("file/below")));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("Cannot make the lock")));
        QVERIFY(instance.tryAcquire());
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
