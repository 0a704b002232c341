// The command line of the real program, run as a process without a display: what
// each option changes, and that a refused command line changes nothing at all.

#include "HeadlessRun.h"

#include <QDirIterator>
#include <QTest>

#include <array>
#include <climits>
#include <csignal>

#include <unistd.h>

namespace {

const QString kUsageLine = QStringLiteral("Usage: corvane [options]\n");

// Every file and folder under root, so that a run can be shown to have left nothing.
QStringList Contents(const QString &root)
{
    QStringList paths;
    QDirIterator entries(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                         QDirIterator::Subdirectories);
    while (entries.hasNext())
        paths << entries.next();
    paths.sort();
    return paths;
}

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Port 1 is a device that does not exist, so that no real serial port is opened;
// without lastValues, the file is a first run's.
bool WriteSettings(const QString &folder, const QByteArray &lastValues)
{
    QDir().mkpath(folder);
    QFile ini(folder + QStringLiteral("/Vestrel.ini"));
    QByteArray text = "[Ports]\n1=" + QFile::encodeName(folder) + "/no-tty\n";
    if (!lastValues.isEmpty())
        text += "\n[LastValues]\nInit=Yes\n" + lastValues + '\n';
    return ini.open(QIODevice::WriteOnly) && ini.write(text) == text.size();
}

struct Run
{
    int exitCode = -1;
    QString output;
    QString errors;
};

// A run that must end by itself.
Run RunToEnd(const QProcessEnvironment &environment, const QStringList &arguments)
{
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(CORVANE_BINARY), arguments);
    if (!program.waitForFinished(10000)) {
        program.kill();
        program.waitForFinished();
        return {};
    }
    return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
            QString::fromLocal8Bit(program.readAllStandardOutput()),
            QString::fromLocal8Bit(program.readAllStandardError())};
}

// A monitor that keeps running until stopped; it has started once its log says so.
class Monitor
{
public:
    Monitor(const QProcessEnvironment &environment, const QStringList &arguments)
    {
        m_process.setProcessEnvironment(environment);
        m_process.start(QStringLiteral(CORVANE_BINARY), arguments);
    }
    ~Monitor()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    Monitor(const Monitor &) = delete;
    Monitor &operator=(const Monitor &) = delete;

    // Stops it as a service manager would; true when it ended of its own accord.
    bool stop()
    {
        ::kill(static_cast<pid_t>(m_process.processId()), SIGTERM);
        return m_process.waitForFinished(10000) && m_process.exitStatus() == QProcess::NormalExit &&
               m_process.exitCode() == 0;
    }
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    // All it has written to standard error so far; the pipe may still hold a line
    // written before the log's start line.
    QString errors()
    {
        m_errors += QString::fromLocal8Bit(m_process.readAllStandardError());
        return m_errors;
    }

private:
    QProcess m_process;
    QString m_errors;
};

// Where the report's standard output goes.
enum class Output
{
    Captured,
    FullDisk,
    // A pipe whose reader has gone, as after "| head -1".
    ClosedPipe,
};

// corvane --history --since 1h, as the user nobody when asked (root reads anything).
Run RunReport(const QProcessEnvironment &environment, Output output, bool asNobody)
{
    QString command = QStringLiteral(CORVANE_BINARY);
    QStringList arguments{QStringLiteral("--history"), QStringLiteral("--since=1h")};
    if (asNobody) {
        arguments = QStringList{QStringLiteral("--reuid=%1").arg(kNobody),
                                QStringLiteral("--regid=%1").arg(kNobody),
                                QStringLiteral("--clear-groups"), command} +
                    arguments;
        command = QStringLiteral("setpriv");
    }
    QProcess program;
    program.setProcessEnvironment(environment);
    if (output == Output::FullDisk)
        program.setStandardOutputFile(QStringLiteral("/dev/full"));
    std::array<int, 2> pipeEnds = {-1, -1};
    if (output == Output::ClosedPipe) {
        if (::pipe(pipeEnds.data()) != 0)
            return {};
        ::close(pipeEnds[0]);
        program.setChildProcessModifier(
            [writeEnd = pipeEnds[1]] { ::dup2(writeEnd, STDOUT_FILENO); });
    }
    program.start(command, arguments);
    const bool ended = program.waitForFinished(10000);
    if (pipeEnds[1] >= 0)
        ::close(pipeEnds[1]);
    if (!ended)
        return {};
    return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
            QString::fromLocal8Bit(program.readAllStandardOutput()),
            QString::fromLocal8Bit(program.readAllStandardError())};
}

bool Started(const QString &logPath)
{
    return ReadAll(logPath).contains("Corvane executable started.");
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Neither needs a display, a settings folder or a log, and neither makes one.
    void printsHelpAndVersion_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");

        QTest::addRow("--help") << QStringList{"--help"} << "--config-dir <DIR>";
        QTest::addRow("-h, after other options")
            << QStringList{"--headless", "--log", "x.txt", "-h"} << "--log <FILE>";
        QTest::addRow("--version") << QStringList{"--version"} << "corvane 0.1.0";
        QTest::addRow("--version after a restoring session's -session")
            << QStringList{"-session", "1a2b3c", "--version"} << "corvane 0.1.0";
    }

    void printsHelpAndVersion()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);

        HeadlessHome home;
        const QProcessEnvironment environment = home.environment();
        const QString root = QFileInfo(home.logPath()).path();
        const QStringList before = Contents(root);
        const Run run = RunToEnd(environment, arguments);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.output.contains(expected), qPrintable(run.output));
        QVERIFY(run.output.startsWith(expected.startsWith(u"corvane") ? expected : kUsageLine));
        QCOMPARE(run.errors, QString());
        QCOMPARE(Contents(root), before);
    }

    void refusesBadCommandLinesBeforeAnythingElse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("reason");

        QTest::addRow("unknown option") << QStringList{"--bogus"} << "Unknown option 'bogus'.";
        QTest::addRow("Qt's own option")
            << QStringList{"-platform", "xcb"} << "Unknown option 'platform'.";
        QTest::addRow("argument") << QStringList{"extra"} << "Unexpected argument 'extra'.";
        QTest::addRow("a line break, kept on the one line")
            << QStringList{"--bogus\nline"} << "Unknown option 'bogus\\nline'.";
        QTest::addRow("--log without its value")
            << QStringList{"--headless", "--log"} << "Missing value after '--log'.";
        QTest::addRow("--log empty") << QStringList{"--log="} << "--log needs a file.";
        QTest::addRow("--log a folder") << QStringList{"--log", "@"}
                                        << "--log: @ is not a regular "
                                           "file.";
        QTest::addRow("--log in a missing folder") << QStringList{"--log", "@/missing/log.txt"}
                                                   << "--log: the folder @/missing does not exist.";
        QTest::addRow("--config-dir empty")
            << QStringList{"--config-dir", ""} << "--config-dir needs a folder.";
        QTest::addRow("--config-dir under a file") << QStringList{"--config-dir", "@/file/config"}
                                                   << "--config-dir: @/file is not a folder.";
        QTest::addRow("--csv without --history")
            << QStringList{"--csv"} << "--since, --csv and --json go with --history.";
        QTest::addRow("--json without --history") << QStringList{"--headless", "--json"}
                                                  << "--since, --csv and --json go with --history.";
        QTest::addRow("--history with --log")
            << QStringList{"--history", "--log", "@/file"} << "--log does not go with --history.";
        QTest::addRow("--history with --headless")
            << QStringList{"--headless", "--history"} << "--headless does not go with --history.";
        QTest::addRow("--since twice") << QStringList{"--history", "--since=1d", "--since", "7d"}
                                       << "--since is given more than once.";
        QTest::addRow("--csv twice")
            << QStringList{"--history", "--csv", "--csv"} << "--csv is given more than once.";
        QTest::addRow("--csv and --json") << QStringList{"--history", "--json", "--csv"}
                                          << "--csv and --json exclude each other.";
        const QString tooLong(NAME_MAX + 1, u'x');
        QTest::addRow("--log with a name longer than a file system takes")
            << QStringList{"--log", "@/" + tooLong}
            << "--log: @/" + tooLong + ": File name too long.";
        QTest::addRow("--config-dir through a name longer than a file system takes")
            << QStringList{"--config-dir", "@/" + tooLong + "/config"}
            << "--config-dir: @/" + tooLong + "/config: File name too long.";
        QTest::addRow("--config-dir to be made with a name too long")
            << QStringList{"--config-dir", "@/missing/" + tooLong}
            << "--config-dir: @/missing/" + tooLong + ": File name too long.";
        // Root may write anywhere, but nobody may make a folder in /proc.
        QTest::addRow("--config-dir the system cannot make")
            << QStringList{"--config-dir", "/proc/corvane-none/config"}
            << (::geteuid() == 0
                    ? "--config-dir: /proc/corvane-none/config cannot be made: No such "
                      "file or directory."
                    : "--config-dir: /proc/corvane-none/config cannot be made in /proc.");
        QTest::addRow("--since not a length")
            << QStringList{"--history", "--since", "week"}
            << "The value of --since, \"week\", is not a length of time: write a whole number "
               "followed by h, d, w or y, such as 24h, 7d, 30d or 1y.";
    }

    // Exit status 2, the reason and the usage, and not a file made or changed: no
    // lock, no settings, no log, no folder.
    void refusesBadCommandLinesBeforeAnythingElse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, reason);

        HeadlessHome home;
        const QProcessEnvironment environment = home.environment();
        // "@" is the temporary home, which holds a file named "file".
        const QString root = QFileInfo(home.logPath()).path();
        for (QString &argument : arguments)
            argument.replace(u'@', root);
        reason.replace(u'@', root);
        QFile file(home.filePath(QStringLiteral("file")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QStringList before = Contents(root);

        const Run run = RunToEnd(environment, arguments);
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.output, QString());
        QCOMPARE(run.errors.section(u'\n', 0, 0), QStringLiteral("corvane: ") + reason);
        QVERIFY2(run.errors.section(u'\n', 1).startsWith(kUsageLine), qPrintable(run.errors));
        QCOMPARE(Contents(root), before);
    }

    // Two monitors for two routers: settings and lock in each one's folder, none in
    // the default one; a third on a busy folder is refused.
    void configDirsRunSideBySide()
    {
        HeadlessHome home;
        const QString first = home.filePath(QStringLiteral("first"));
        const QString second = home.filePath(QStringLiteral("second"));
        const QString firstLog = home.filePath(QStringLiteral("first.txt"));
        const QString secondLog = home.filePath(QStringLiteral("second.txt"));
        QVERIFY(WriteSettings(first, "FailLog=" + firstLog.toUtf8()));
        QVERIFY(WriteSettings(second, "Period=1\nFailLog=" + secondLog.toUtf8()));

        Monitor one(home.environment(), {QStringLiteral("--config-dir"), first});
        QTRY_VERIFY_WITH_TIMEOUT(Started(firstLog), 10000);
        Monitor two(home.environment(), {QStringLiteral("--config-dir=") + second});
        QTRY_VERIFY_WITH_TIMEOUT(Started(secondLog), 10000);
        QVERIFY(one.isRunning());
        // Each keeps a history of its own, named in its start line.
        const QString instances = home.filePath(QStringLiteral("data/Corvane/instances/"));
        QTRY_VERIFY2_WITH_TIMEOUT(
            one.errors().contains(QStringLiteral("history %1first-").arg(instances)),
            qPrintable(one.errors()), 5000);
        QTRY_VERIFY2_WITH_TIMEOUT(
            two.errors().contains(QStringLiteral("history %1second-").arg(instances)),
            qPrintable(two.errors()), 5000);

        QVERIFY(QFile::exists(first + QStringLiteral("/Corvane.lock")));
        QVERIFY(QFile::exists(second + QStringLiteral("/Corvane.lock")));
        QVERIFY(!QFile::exists(home.filePath(QStringLiteral("config"))));

        const Run third = RunToEnd(home.environment(), {QStringLiteral("--config-dir"), second});
        QCOMPARE(third.exitCode, 3);
        QVERIFY(third.errors.contains(u"Only one instance of this application"));

        QVERIFY(one.stop());
        QVERIFY(two.stop());
        QVERIFY(ReadAll(firstLog).contains("Corvane executable stopped."));
        QVERIFY(ReadAll(secondLog).contains("Corvane executable stopped."));
    }

    // The report reads the history a running monitor writes, without its lock; with
    // no history yet it says so and makes none.
    void historyReportReadsWhileAMonitorWrites()
    {
        HeadlessHome home;
        const QString store = home.filePath(QStringLiteral("data/Corvane/history.sqlite"));
        const Run before = RunToEnd(home.environment(), {QStringLiteral("--history")});
        QCOMPARE(before.exitCode, 1);
        QVERIFY(!QFile::exists(store));

        const QString folder = home.filePath(QStringLiteral("settings"));
        const QString log = home.filePath(QStringLiteral("log.txt"));
        QVERIFY(WriteSettings(folder, "Period=1\nAddrPri=127.0.0.1\nAddrSec=127.0.0.2\nFailLog=" +
                                          log.toUtf8()));
        Monitor monitor(home.environment(), {QStringLiteral("--config-dir"), folder});
        QTRY_VERIFY_WITH_TIMEOUT(Started(log), 10000);
        // The monitor's own store, not the default one.
        const auto report = [&home, &folder] {
            return RunToEnd(home.environment(),
                            {QStringLiteral("--history"), QStringLiteral("--since=1h"),
                             QStringLiteral("--config-dir"), folder});
        };
        QTRY_VERIFY_WITH_TIMEOUT(report().output.contains(u"Availability 100"), 15000);
        QVERIFY(!QFile::exists(store));
        const Run csv =
            RunToEnd(home.environment(), {QStringLiteral("--history"), QStringLiteral("--csv"),
                                          QStringLiteral("--config-dir"), folder});
        QCOMPARE(csv.exitCode, 0);
        QCOMPARE(csv.output, QStringLiteral("start,end,duration_seconds,failing_cycles,"
                                            "fail_commands_sent,router_response,ended_by_stop,"
                                            "ended_unwatched,reason\r\n"));
        QVERIFY(monitor.isRunning());
        QVERIFY(monitor.stop());
    }

    // Another user's history, which the reader may read but not write: while its monitor
    // writes it, and after the monitor has stopped and nothing beside the store is
    // left. Then output that cannot be written: a full disk is said, a reader that
    // has gone is not, and both end with status 1.
    void historyReportReadsAStoreItMayNotWrite()
    {
        HeadlessHome home;
        const bool asNobody = ::geteuid() == 0;
        if (asNobody && !HasCommand(QStringLiteral("setpriv")))
            QSKIP("root reads any store; setpriv is needed to read it as nobody");
        // The default settings folder, so that the report without --config-dir reads
        // this monitor's store.
        const QString folder = home.filePath(QStringLiteral("config"));
        const QString log = home.filePath(QStringLiteral("log.txt"));
        QVERIFY(WriteSettings(folder, "Period=1\nAddrPri=127.0.0.1\nFailLog=" + log.toUtf8()));
        const QString data = home.filePath(QStringLiteral("data/Corvane"));
        const QString store = data + QStringLiteral("/history.sqlite");
        const QProcessEnvironment environment = home.environment();

        Monitor monitor(environment, {QStringLiteral("--config-dir"), folder});
        QTRY_VERIFY_WITH_TIMEOUT(
            RunReport(environment, Output::Captured, false).output.contains(u"Availability 100"),
            15000);
        // Readable by all, whatever the umask, down to the store and its companions.
        for (const QString &path :
             {home.filePath(QString()), home.filePath(QStringLiteral("data")), data, store,
              store + QStringLiteral("-wal"), store + QStringLiteral("-shm")}) {
            const bool isFolder = QFileInfo(path).isDir();
            QVERIFY(QFile::setPermissions(
                path, QFile::permissions(path) | QFileDevice::ReadOther |
                          (isFolder ? QFileDevice::ExeOther : QFileDevice::Permissions())));
        }
        const Run whileWritten = RunReport(environment, Output::Captured, asNobody);
        QCOMPARE(whileWritten.errors, QString());
        QCOMPARE(whileWritten.exitCode, 0);
        QVERIFY(whileWritten.output.contains(u"Availability 100"));
        QVERIFY(monitor.stop());

        QVERIFY(!QFile::exists(store + QStringLiteral("-wal")));
        QVERIFY(QFile::setPermissions(store, QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                                 QFileDevice::ReadOther));
        const QFileDevice::Permissions readOnlyFolder =
            QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup |
            QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
        QVERIFY(QFile::setPermissions(data, readOnlyFolder));
        const Run stopped = RunReport(environment, Output::Captured, asNobody);
        QFile::setPermissions(data, readOnlyFolder | QFileDevice::WriteOwner);
        QCOMPARE(stopped.errors, QString());
        QCOMPARE(stopped.exitCode, 0);
        QVERIFY(stopped.output.contains(u"Availability 100"));
        QVERIFY(!QFile::exists(store + QStringLiteral("-shm")));

        const Run fullDisk = RunReport(environment, Output::FullDisk, false);
        QCOMPARE(fullDisk.exitCode, 1);
        QCOMPARE(
            fullDisk.errors,
            QStringLiteral("corvane: the report cannot be written: No space left on device\n"));
        const Run readerGone = RunReport(environment, Output::ClosedPipe, false);
        QCOMPARE(readerGone.exitCode, 1);
        QCOMPARE(readerGone.errors, QString());
    }

    // The run's log takes every entry; the stored path and the file stay as they were,
    // and a first run stores no log path at all.
    void logOptionIsUsedAndNeverStored_data()
    {
        QTest::addColumn<bool>("storedLog");

        QTest::addRow("a log path stored") << true;
        QTest::addRow("first run") << false;
    }

    void logOptionIsUsedAndNeverStored()
    {
        QFETCH(bool, storedLog);

        HeadlessHome home;
        const QString folder = home.filePath(QStringLiteral("config"));
        const QString ini = folder + QStringLiteral("/Vestrel.ini");
        const QString stored = home.filePath(QStringLiteral("stored.txt"));
        QVERIFY(WriteSettings(folder, storedLog ? "FailLog=" + stored.toUtf8() : QByteArray()));
        const QByteArray settingsBefore = ReadAll(ini);
        const QString runLog = home.filePath(QStringLiteral("run.txt"));

        Monitor monitor(home.environment(), {QStringLiteral("--log"), runLog});
        QTRY_VERIFY_WITH_TIMEOUT(Started(runLog), 10000);
        QVERIFY(monitor.stop());

        QVERIFY(ReadAll(runLog).contains("Corvane executable stopped."));
        QVERIFY(!QFile::exists(stored));
        // The history still goes to the data folder; the default log does not.
        QVERIFY(!QFile::exists(home.filePath(QStringLiteral("data/Corvane/log.txt"))));
        if (storedLog)
            QCOMPARE(ReadAll(ini), settingsBefore);
        else
            QVERIFY(!ReadAll(ini).contains("FailLog"));
        QVERIFY2(monitor.errors().contains(QStringLiteral("log %1,").arg(runLog)),
                 qPrintable(monitor.errors()));
    }

    // A Wayland display is named but nothing can answer there (the runtime folder is
    // the test's own): asked to, the program does not even try it, and its first line
    // says where it runs.
    void headlessOptionSkipsTheDisplay_data()
    {
        QTest::addColumn<bool>("headless");

        QTest::addRow("--headless") << true;
        QTest::addRow("no option: it falls back") << false;
    }

    void headlessOptionSkipsTheDisplay()
    {
        QFETCH(bool, headless);

        HeadlessHome home;
        const QString folder = home.filePath(QStringLiteral("config"));
        QVERIFY(WriteSettings(folder, "AddrSec=127.0.0.9\nFailLog=" + home.logPath().toUtf8()));
        QProcessEnvironment environment = home.environment();
        environment.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("corvane-none"));
        environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));

        Monitor monitor(environment,
                        headless ? QStringList{QStringLiteral("--headless")} : QStringList());
        QTRY_VERIFY_WITH_TIMEOUT(Started(home.logPath()), 10000);
        QVERIFY(monitor.stop());

        const QString errors = monitor.errors();
        const QString startLine =
            QStringLiteral("Corvane runs headless: settings %1/Vestrel.ini, log %2, history "
                           "%3, port 1 on %1/no-tty, addresses 127.0.0.1 and 127.0.0.9.\n")
                .arg(folder, home.logPath(),
                     home.filePath(QStringLiteral("data/Corvane/history.sqlite")));
        const QString fallbackLine = QStringLiteral(
            "No display server answers at WAYLAND_DISPLAY=corvane-none; running headless.\n");
        QVERIFY2(errors.startsWith(headless ? startLine : fallbackLine + startLine),
                 qPrintable(errors));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
