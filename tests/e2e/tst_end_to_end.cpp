// Runs the real program as a user would on a machine without a display: settings
// in a temporary home, the router's console on a pseudo-terminal, pings to loopback.
// Displays named in the environment are ones where nothing answers.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <unistd.h>

namespace {

// The console side of the router: the program opens the pseudo-terminal's other
// end as its serial port.
class PseudoTerminal
{
public:
    PseudoTerminal()
    {
        int follower = -1;
        char name[256] = {};
        if (openpty(&m_leader, &follower, name, nullptr, nullptr) != 0)
            return;
        // Keeping our own descriptor of the follower open means the leader never
        // sees a hang-up while the program reopens the port.
        m_follower = follower;
        m_path = QString::fromLocal8Bit(name);
        fcntl(m_leader, F_SETFL, fcntl(m_leader, F_GETFL) | O_NONBLOCK);
    }
    ~PseudoTerminal()
    {
        if (m_leader >= 0)
            ::close(m_leader);
        if (m_follower >= 0)
            ::close(m_follower);
    }
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isValid() const { return m_leader >= 0; }
    QString path() const { return m_path; }

    QByteArray readAvailable()
    {
        QByteArray received;
        char buffer[512];
        for (;;) {
            const ssize_t count = ::read(m_leader, buffer, sizeof buffer);
            if (count <= 0)
                break;
            received.append(buffer, count);
        }
        return received;
    }

private:
    int m_leader = -1;
    int m_follower = -1;
    QString m_path;
};

struct Installation
{
    QTemporaryDir home;
    QString logPath() const { return home.filePath(QStringLiteral("log.txt")); }

    void writeSettings(const QString &lastValues, const QString &portPath) const
    {
        QDir(home.path()).mkpath(QStringLiteral("config"));
        QFile ini(home.filePath(QStringLiteral("config/Vestrel.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[LastValues]\nInit=Yes\n");
        ini.write(lastValues.toUtf8());
        ini.write("\nFailLog=" + logPath().toUtf8() + "\nFailPort=1\n");
        ini.write("\n[Ports]\n1=" + portPath.toUtf8() + "\n");
    }

    // Without a runtime folder, each copy gets a temporary folder of its own, named
    // by temporaryFolder, as two sessions of one user may have.
    QProcessEnvironment environment(const QString &temporaryFolder = {}) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        const QString runtime = temporaryFolder.isEmpty() ? QStringLiteral("run") : temporaryFolder;
        QDir(home.path()).mkpath(runtime);
        QFile::setPermissions(home.filePath(runtime), QFileDevice::ReadOwner |
                                                          QFileDevice::WriteOwner |
                                                          QFileDevice::ExeOwner);
        if (temporaryFolder.isEmpty()) {
            environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(runtime));
        } else {
            environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
            environment.insert(QStringLiteral("TMPDIR"), home.filePath(runtime));
        }
        return environment;
    }

    QString log() const
    {
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLatin1(file.readAll());
    }
};

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
void StopsWithItsStopLine(QProcess &program, const Installation &installation)
{
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    const QString log = installation.log();
    QCOMPARE(log.count(u"Corvane executable started."), 1);
    QCOMPARE(log.count(u"Corvane executable stopped."), 1);
    QVERIFY(log.indexOf(u"started.") < log.indexOf(u"stopped."));
}

bool HasCommand(const QString &name)
{
    return !QStandardPaths::findExecutable(name).isEmpty() ||
           !QStandardPaths::findExecutable(name,
                                           {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")})
                .isEmpty();
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
        Installation installation;
        installation.writeSettings(QStringLiteral("AddrPri=127.0.0.1\nAddrSec=127.0.0.1\nPeriod=1"),
                                   console.path());

        QProcess first;
        first.setProcessEnvironment(installation.environment(firstTemporary));
        first.start(QStringLiteral(CORVANE_BINARY), {});
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(installation.log().contains(u"Corvane executable started."),
                                 10000);

        QProcess second;
        second.setProcessEnvironment(installation.environment(secondTemporary));
        second.start(QStringLiteral(CORVANE_BINARY), {});
        QVERIFY(second.waitForFinished(10000));
        QVERIFY(second.readAllStandardError().contains(
            "Corvane: Only one instance of this application may be run at a time."));
        QCOMPARE(first.state(), QProcess::Running);

        StopsWithItsStopLine(first, installation);
        QVERIFY(!installation.log().contains(u"No response"));
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
        Installation installation;
        // A port that cannot be opened puts a box line on stderr at start-up.
        installation.writeSettings(QStringLiteral("AddrPri=127.0.0.1\nAddrSec=127.0.0.1"),
                                   installation.home.filePath(QStringLiteral("missing/ttyS0")));
        QProcessEnvironment environment = installation.environment();
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
        QTRY_VERIFY_WITH_TIMEOUT(installation.log().contains(u"Corvane executable started."),
                                 10000);
        QCOMPARE(monitor.state(), QProcess::Running);

        StopsWithItsStopLine(monitor, installation);
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

    void sendsTheFailCommandWhenBothAddressesAreDead()
    {
        if (geteuid() != 0)
            QSKIP("needs root to create a network namespace and load nft rules");
        if (!HasCommand(QStringLiteral("unshare")) || !HasCommand(QStringLiteral("nft")) ||
            !HasCommand(QStringLiteral("ip")))
            QSKIP("needs unshare, ip and nft");

        PseudoTerminal console;
        QVERIFY(console.isValid());
        Installation installation;
        installation.writeSettings(QStringLiteral("AddrPri=127.0.0.2\nAddrSec=127.0.0.3\nPeriod=1\n"
                                                  "TimeoutPri=200\nTimeoutSec=200\nFailTries=2"),
                                   console.path());

        // Inside its own namespace the program sees only a loopback on which echo
        // requests to both addresses vanish, as if the line were down.
        const QString setUp = QStringLiteral(
            "ip link set lo up && nft add table inet corvane && "
            "nft add chain inet corvane input '{ type filter hook input priority 0; }' && "
            "nft add rule inet corvane input ip daddr '{ 127.0.0.2, 127.0.0.3 }' "
            "icmp type echo-request drop");
        QProcess monitor;
        monitor.setProcessEnvironment(installation.environment());
        monitor.start(
            QStringLiteral("unshare"),
            {QStringLiteral("-n"), QStringLiteral("sh"), QStringLiteral("-c"),
             QStringLiteral("%1 && exec '%2'").arg(setUp, QStringLiteral(CORVANE_BINARY))});
        QVERIFY(monitor.waitForStarted());

        QByteArray received;
        QTRY_VERIFY_WITH_TIMEOUT((received += console.readAvailable()).contains("\r\r"), 20000);
        QCOMPARE(received, QByteArray("\r\r"));
        QTRY_VERIFY_WITH_TIMEOUT(installation.log().contains(
                                     u"No response after 2 ping attempts.  Sending fail command."),
                                 5000);

        ::kill(static_cast<pid_t>(monitor.processId()), SIGTERM);
        QVERIFY(monitor.waitForFinished(10000));
        QVERIFY(installation.log().contains(u"Corvane executable stopped."));
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_end_to_end.moc"
