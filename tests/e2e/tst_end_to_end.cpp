// Runs the real program as a user would on a machine without a display: settings
// in a temporary home, the router's console on a pseudo-terminal, pings to loopback.
// Displays named in the environment are ones where nothing answers.

#include "HeadlessRun.h"
#include "PseudoTerminal.h"

#include <QTest>

#include <csignal>

namespace {

// Nothing may answer at X display 97: no socket, named or abstract, and no
// listener on its loopback port (6097, hexadecimal 17D1), where the X library
// tries next; and "localhost" must come from the hosts file, not from a resolver.
bool NothingAtDisplay97()
{
    QFile hosts(QStringLiteral("/etc/hosts"));
    if (!hosts.open(QIODevice::ReadOnly) ||
        !QString::fromLatin1(hosts.readAll()).contains(QStringLiteral("localhost")))
        return false;
    if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X97")))
        return false;
    QFile unixSockets(QStringLiteral("/proc/net/unix"));
    if (unixSockets.open(QIODevice::ReadOnly) && unixSockets.readAll().contains("X11-unix/X97"))
        return false;
    for (const char *table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        QFile listeners(QString::fromLatin1(table));
        if (listeners.open(QIODevice::ReadOnly) && listeners.readAll().contains(":17D1 "))
            return false;
    }
    return true;
}

// Stops the program as a service manager would, and checks that it logged both
// its lines and ended of its own accord.
void StopsWithItsStopLine(QProcess &program, const HeadlessHome &home)
{
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    const QString log = home.log();
    QCOMPARE(log.count(u"Corvane executable started."), 1);
    QCOMPARE(log.count(u"Corvane executable stopped."), 1);
    QVERIFY(log.indexOf(u"started.") < log.indexOf(u"stopped."));
}

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // One settings file, one copy, whatever runtime or temporary folder each
    // copy is given.
    void startsLogsRefusesSecondCopyAndStopsOnSigterm_data()
    {
        QTest::addColumn<QString>("firstTemporary");
        QTest::addColumn<QString>("secondTemporary");

        QTest::addRow("one runtime folder") << QString() << QString();
        QTest::addRow("no runtime folder, two temporary folders") << "tmp1"
                                                                  << "tmp2";
    }

    void startsLogsRefusesSecondCopyAndStopsOnSigterm()
    {
        QFETCH(QString, firstTemporary);
        QFETCH(QString, secondTemporary);

        PseudoTerminal console;
        QVERIFY(console.isValid());
        HeadlessHome home;
        QVERIFY(home.writeSettings(QStringLiteral("AddrPri=127.0.0.1\nAddrSec=127.0.0.1\nPeriod=1"),
                                   console.slavePath()));

        QProcess first;
        first.setProcessEnvironment(home.environment(firstTemporary));
        first.start(QStringLiteral(CORVANE_BINARY), {});
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(home.log().contains(u"Corvane executable started."), 10000);

        QProcess second;
        second.setProcessEnvironment(home.environment(secondTemporary));
        second.start(QStringLiteral(CORVANE_BINARY), {});
        QVERIFY(second.waitForFinished(10000));
        QVERIFY(second.readAllStandardError().contains(
            "Corvane: Only one instance of this application may be run at a time."));
        QCOMPARE(first.state(), QProcess::Running);

        StopsWithItsStopLine(first, home);
        QVERIFY(!home.log().contains(u"No response"));
    }

    // A service may inherit a display that is long gone, or lose the reader of its
    // stderr; either way it watches on, headless, and stops with its stop line.
    void survivesItsEnvironment_data()
    {
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("sessionType");
        QTest::addColumn<bool>("stderrReaderGone");

        QTest::addRow("X display that does not answer") << "DISPLAY"
                                                        << ":97"
                                                        << "" << false;
        QTest::addRow("Wayland display that does not answer") << "WAYLAND_DISPLAY"
                                                              << "corvane-none-97"
                                                              << "wayland" << false;
        QTest::addRow("stderr reader gone before the first box line") << ""
                                                                      << ""
                                                                      << "" << true;
    }

    void survivesItsEnvironment()
    {
        QFETCH(QString, variable);
        QFETCH(QString, display);
        QFETCH(QString, sessionType);
        QFETCH(bool, stderrReaderGone);

        if (variable == u"DISPLAY" && !NothingAtDisplay97())
            QSKIP("something may answer at display :97, or localhost needs a resolver");
        HeadlessHome home;
        // A port that cannot be opened puts a box line on stderr at start-up.
        QVERIFY(home.writeSettings(QStringLiteral("AddrPri=127.0.0.1\nAddrSec=127.0.0.1"),
                                   home.filePath(QStringLiteral("missing/ttyS0"))));
        QProcessEnvironment environment = home.environment();
        if (!variable.isEmpty())
            environment.insert(variable, display);
        if (!sessionType.isEmpty())
            environment.insert(QStringLiteral("XDG_SESSION_TYPE"), sessionType);

        QProcess monitor;
        monitor.setProcessEnvironment(environment);
        int closedPipe[2] = {-1, -1};
        if (stderrReaderGone) {
            QVERIFY(::pipe(closedPipe) == 0);
            ::close(closedPipe[0]);
            const int writeEnd = closedPipe[1];
            monitor.setChildProcessModifier([writeEnd] { ::dup2(writeEnd, STDERR_FILENO); });
        }
        monitor.start(QStringLiteral(CORVANE_BINARY), {});
        QVERIFY(monitor.waitForStarted());
        if (stderrReaderGone)
            ::close(closedPipe[1]);
        QTRY_VERIFY_WITH_TIMEOUT(home.log().contains(u"Corvane executable started."), 10000);
        QCOMPARE(monitor.state(), QProcess::Running);

        StopsWithItsStopLine(monitor, home);
        const QString errors = QString::fromLocal8Bit(monitor.readAllStandardError());
        if (!variable.isEmpty()) {
            QVERIFY2(errors.startsWith(QStringLiteral("No display server answers at %1=%2; "
                                                      "running headless.\n")
                                           .arg(variable, display)),
                     qPrintable(errors));
            QVERIFY2(!errors.contains(u"qt.qpa"), qPrintable(errors));
        }
        QVERIFY2(errors.contains(u"Comm Port Error: ") != stderrReaderGone, qPrintable(errors));
    }

    // A stored retry count the field would refuse runs at the default a first run
    // uses, which the start-up report names and the metrics show.
    void sendsTheFailCommandWhenBothAddressesAreDead_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("retries");

        QTest::addRow("retries 2") << "2" << 2;
        QTest::addRow("retries 40000, refused") << "40000" << 5;
        QTest::addRow("retries 0, refused") << "0" << 5;
    }

    void sendsTheFailCommandWhenBothAddressesAreDead()
    {
        QFETCH(QString, stored);
        QFETCH(int, retries);
        if (const QString reason = NamespaceUnavailableReason(); !reason.isEmpty())
            QSKIP(qPrintable(reason));
        DeadLineNamespace deadLine;
        QVERIFY(deadLine.isReady());
        PseudoTerminal console;
        QVERIFY(console.isValid());
        HeadlessHome home;
        const QString metrics = home.filePath(QStringLiteral("corvane.prom"));
        QVERIFY(home.writeSettings(QStringLiteral("AddrPri=127.0.0.2\nAddrSec=127.0.0.3\nPeriod=1\n"
                                                  "TimeoutPri=200\nTimeoutSec=200\nFailTries=") +
                                       stored,
                                   console.slavePath(), QStringLiteral("MetricsFile=") + metrics));

        QProcess monitor;
        monitor.setProcessEnvironment(home.environment());
        deadLine.start(monitor, QStringLiteral(CORVANE_BINARY), false);
        QVERIFY(monitor.waitForStarted());

        QByteArray received;
        QTRY_VERIFY_WITH_TIMEOUT((received += console.receive(0)).contains("\r\r"), 30000);
        QCOMPARE(received, QByteArray("\r\r"));
        QTRY_VERIFY_WITH_TIMEOUT(home.log().contains(QStringLiteral("No response after %1 ping "
                                                                    "attempts.  Sending fail "
                                                                    "command.")
                                                         .arg(retries)),
                                 5000);
        const bool refused = stored.toInt() != retries;
        QCOMPARE(home.log().contains(QStringLiteral("FailTries=%1: ").arg(stored)), refused);
        if (refused)
            QVERIFY(home.log().contains(QStringLiteral(" is required. Corvane uses 5.")));
        QTRY_VERIFY_WITH_TIMEOUT(
            ReadAll(metrics).contains("\ncorvane_fail_commands_total{watch=\"corvane\"} 1\n"),
            5000);
        QVERIFY(ReadAll(metrics).contains(
            QStringLiteral("\ncorvane_retries{watch=\"corvane\"} %1\n").arg(retries).toLatin1()));

        StopsWithItsStopLine(monitor, home);
    }

    // The primary drops the first two echoes of every three: with three echoes per
    // address each cycle is answered, and nothing is sent.
    void echoesPerAddressRideOutLostEchoes()
    {
        if (const QString reason = NamespaceUnavailableReason(); !reason.isEmpty())
            QSKIP(qPrintable(reason));
        DeadLineNamespace deadLine;
        QVERIFY(deadLine.isReady());
        const QString echoes =
            QStringLiteral("nft add rule inet corvane input ip daddr 127.0.0.4 icmp type "
                           "echo-request ");
        QVERIFY(deadLine.execute(echoes + QStringLiteral("counter")));
        QVERIFY(deadLine.execute(echoes + QStringLiteral("numgen inc mod 3 != 2 drop")));
        PseudoTerminal console;
        QVERIFY(console.isValid());
        HeadlessHome home;
        QVERIFY(home.writeSettings(QStringLiteral("AddrPri=127.0.0.4\nAddrSec=127.0.0.3\nPeriod=1\n"
                                                  "TimeoutPri=200\nTimeoutSec=200\nFailTries=1"),
                                   console.slavePath()));
        QFile settings(home.filePath(QStringLiteral("config/Vestrel.ini")));
        QVERIFY(settings.open(QIODevice::Append));
        QVERIFY(settings.write("\n[Options]\nEchoesPerAddress=3\n") > 0);
        settings.close();

        QProcess monitor;
        monitor.setProcessEnvironment(home.environment());
        deadLine.start(monitor, QStringLiteral(CORVANE_BINARY), false);
        QVERIFY(monitor.waitForStarted());

        // Five cycles' worth of echoes reached the primary.
        QTRY_VERIFY_WITH_TIMEOUT(
            deadLine.execute(QStringLiteral(
                "nft list chain inet corvane input | awk '/counter packets/ { for (i = 1; i < "
                "NF; i++) if ($i == \"packets\" && $(i + 1) >= 15) seen = 1 } END { exit !seen "
                "}'")),
            30000);
        QVERIFY2(console.receive(0).isEmpty(), qPrintable(home.log()));
        QVERIFY2(!home.log().contains(u"No response"), qPrintable(home.log()));

        StopsWithItsStopLine(monitor, home);
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_end_to_end.moc"
