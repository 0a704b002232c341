// The real program under a service manager, played by the test: a datagram socket of
// the test's own as NOTIFY_SOCKET, and a file as the journal's stream.

#include "HeadlessRun.h"
#include "PseudoTerminal.h"

#include <QTest>

#include <csignal>
#include <sys/stat.h>

class TestService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Ready as it starts, alive while it moves but never while stopped, its state in a
    // line, the stop told; SIGHUP stops it cleanly, for the manager to start it again.
    // Every log entry goes to the journal with its priority.
    void toldToTheManager()
    {
        PseudoTerminal console;
        QVERIFY(console.isValid());
        HeadlessHome home;
        QVERIFY(home.writeSettings(QStringLiteral("AddrPri=127.0.0.1\nAddrSec=::1\nPeriod=1"),
                                   console.slavePath()));
        NotifySocket manager(home.filePath(QStringLiteral("notify")));
        QVERIFY(manager.isBound());
        const QString journal = home.filePath(QStringLiteral("journal"));
        QFile(journal).open(QIODevice::WriteOnly);
        struct stat journalStatus = {};
        QCOMPARE(::stat(QFile::encodeName(journal).constData(), &journalStatus), 0);

        QProcessEnvironment environment = home.environment();
        environment.insert(QStringLiteral("NOTIFY_SOCKET"),
                           home.filePath(QStringLiteral("notify")));
        // Two seconds: looked at every half second, pinged at each look that follows a
        // tick.
        environment.insert(QStringLiteral("WATCHDOG_USEC"), QStringLiteral("2000000"));
        environment.insert(
            QStringLiteral("JOURNAL_STREAM"),
            QStringLiteral("%1:%2").arg(journalStatus.st_dev).arg(journalStatus.st_ino));
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setStandardErrorFile(journal, QIODevice::Append);
        program.start(QStringLiteral(CORVANE_BINARY), {});
        QVERIFY(program.waitForStarted());
        const pid_t id = static_cast<pid_t>(program.processId());

        QList<QByteArray> states;
        QTRY_VERIFY_WITH_TIMEOUT((states += manager.received()).count("WATCHDOG=1") >= 2, 10000);
        QCOMPARE(states.first(), QByteArray("READY=1"));
        QTRY_VERIFY_WITH_TIMEOUT(
            (states += manager.received())
                    .contains("STATUS=primary 0 ms; 0 failing cycles; no fail command yet") ||
                states.contains("STATUS=primary 1 ms; 0 failing cycles; no fail command yet"),
            10000);

        ::kill(id, SIGSTOP);
        QTRY_VERIFY(ProcessState(id) == 'T');
        manager.received();
        QVERIFY(!QTest::qWaitFor([&] { return manager.received().contains("WATCHDOG=1"); }, 2500));
        ::kill(id, SIGCONT);
        QVERIFY(QTest::qWaitFor([&] { return manager.received().contains("WATCHDOG=1"); }, 10000));

        ::kill(id, SIGHUP);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(manager.received().contains("STOPPING=1\nSTATUS=Stopping."));

        QFile written(journal);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray lines = written.readAll();
        QVERIFY2(lines.contains("\n<6>Corvane executable started.\n"), lines.constData());
        QVERIFY(lines.endsWith("\n<6>Corvane executable stopped.\n"));
    }

private:
    static char ProcessState(pid_t id)
    {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(id));
        if (!stat.open(QIODevice::ReadOnly))
            return '\0';
        const QByteArray text = stat.readAll();
        const qsizetype end = text.lastIndexOf(')');
        return end >= 0 && end + 2 < text.size() ? text.at(end + 2) : '\0';
    }
};

QTEST_GUILESS_MAIN(TestService)
#include "tst_service.moc"
