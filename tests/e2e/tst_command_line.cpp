// The command line of the real program, run as a process without a display: what
// each option changes, and that a refused command line changes nothing at all.

#include "HeadlessRun.h"

#include <QDirIterator>
#include <QTest>

#include <csignal>

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
    QString errors() { return QString::fromLocal8Bit(m_process.readAllStandardError()); }

private:
    QProcess m_process;
};

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
            << QStringList{"--csv"} << "--since and --csv go with --history.";
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
        const auto report = [&home] {
            return RunToEnd(home.environment(),
                            {QStringLiteral("--history"), QStringLiteral("--since=1h")});
        };
        QTRY_VERIFY_WITH_TIMEOUT(report().output.contains(u"Availability: 100"), 15000);
        const Run csv =
            RunToEnd(home.environment(), {QStringLiteral("--history"), QStringLiteral("--csv")});
        QCOMPARE(csv.exitCode, 0);
        QVERIFY2(csv.output.contains(u"from,to,cycles,answered_cycles"), qPrintable(csv.output));
        QVERIFY(monitor.isRunning());
        QVERIFY(monitor.stop());
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
            QStringLiteral("Corvane runs headless: settings %1/Vestrel.ini, log %2, port 1 on "
                           "%1/no-tty, addresses 127.0.0.1 and 127.0.0.9.\n")
                .arg(folder, home.logPath());
        const QString fallbackLine = QStringLiteral(
            "No display server answers at WAYLAND_DISPLAY=corvane-none; running headless.\n");
        QVERIFY2(errors.startsWith(headless ? startLine : fallbackLine + startLine),
                 qPrintable(errors));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
