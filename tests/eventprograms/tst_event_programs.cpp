#include "EventPrograms.h"
#include "FakeClock.h"
#include "RecordingLog.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <thread>

// The programs are small scripts of the test's own, in a folder whose name has a
// blank, so that the quoting of the command line is used for real.
class TestEventPrograms : public QObject
{
    Q_OBJECT

private:
    QString Script(const QString &name, const QString &body,
                   QFile::Permissions extra = QFile::Permissions())
    {
        QString path = m_folder.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\n" + body.toUtf8()) < 0)
            qFatal("cannot write %s", qPrintable(path));
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | extra);
        return path;
    }
    static QString Quoted(const QString &path) { return u'"' + path + u'"'; }
    static ProbeReport Probe(const QString &address, qint32 status)
    {
        ProbeReport probe;
        probe.address = address;
        probe.status = status;
        probe.roundTripMs = status == 0 ? 3 : 0;
        return probe;
    }
    static CycleReport Failed(qint16 count)
    {
        CycleReport report;
        report.primary = Probe(QStringLiteral("127.0.0.9"), 11010);
        report.secondary = Probe(QStringLiteral("::1"), 11010);
        report.failCount = count;
        return report;
    }
    static CycleReport Answered()
    {
        CycleReport report;
        report.primary = Probe(QStringLiteral("127.0.0.9"), 0);
        report.answered = true;
        return report;
    }
    QStringList Entries() const
    {
        QStringList texts;
        for (const RecordingLog::Entry &entry : m_log.entries)
            texts << entry.message;
        return texts;
    }
    void Make()
    {
        m_programs = std::make_unique<EventPrograms>(m_options, m_log, m_clock, 200);
        m_programs->setSettingsFile(m_settings);
    }
    void Outage()
    {
        m_programs->outageStarted();
        m_programs->cycleDone(Failed(1));
    }

    QTemporaryDir m_temporary;
    QDir m_folder;
    QString m_settings;
    Options m_options;
    RecordingLog m_log;
    FakeClock m_clock{QDateTime(QDate(2026, 3, 1), QTime(10, 0), Qt::UTC)};
    std::unique_ptr<EventPrograms> m_programs;

private Q_SLOTS:
    void init()
    {
        m_folder = QDir(m_temporary.path());
        m_folder.mkpath(QStringLiteral("event programs"));
        m_folder.cd(QStringLiteral("event programs"));
        m_settings = Script(QStringLiteral("Vestrel.ini"), {});
        m_options = Options();
        m_log.entries.clear();
        Make();
    }
    void cleanup() { m_programs.reset(); }

    // What each event tells its program, with its arguments split as a shell would and
    // its input empty.
    void tellsTheEvent()
    {
        const QString show = Script(QStringLiteral("show"),
                                    QStringLiteral("echo \"$1|$(readlink /proc/self/fd/0)\"\n"
                                                   "env | grep ^CORVANE_ | sort\n"));
        const QString quoted = Quoted(show) + QStringLiteral(" 'two words'");
        m_options.onFailCommand = quoted;
        m_options.onNoAcknowledgement = quoted;
        m_options.onLineBack = quoted;
        Outage();
        m_clock.advanceMs(60'000);
        m_programs->cycleDone(Failed(2));
        m_programs->commandSent(CommandKind::Fail, QStringLiteral("^m"));
        QTRY_COMPARE(m_programs->running(), 0);
        m_programs->acknowledgement(false, QStringLiteral("router> "));
        QTRY_COMPARE(m_programs->running(), 0);
        m_clock.advanceMs(30'000);
        m_programs->outageEnded();
        m_programs->cycleDone(Answered());
        QTRY_COMPARE(m_log.entries.size(), 3);

        const QStringList entries = Entries();
        const QString common = QStringLiteral("CORVANE_ADDRESS_PRIMARY=127.0.0.9\r\n"
                                              "CORVANE_ADDRESS_SECONDARY=::1\r\n"
                                              "CORVANE_CONFIG=%1\r\n")
                                   .arg(m_settings);
        QCOMPARE(entries[0],
                 QStringLiteral("Ran OnFailCommand: exit 0.\r\ntwo words|/dev/null\r\n") + common +
                     QStringLiteral("CORVANE_CONSOLE_LINE=\r\n"
                                    "CORVANE_EVENT=OnFailCommand\r\n"
                                    "CORVANE_FAILING_CYCLES=2\r\n"
                                    "CORVANE_OUTAGE_SECONDS=60\r\n"
                                    "CORVANE_OUTAGE_STARTED=2026-03-01T10:00:00Z\r\n"
                                    "CORVANE_SENDS=1\r\n"
                                    "CORVANE_STATUS_PRIMARY=11010\r\n"
                                    "CORVANE_STATUS_SECONDARY=11010"));
        QVERIFY2(entries[1].contains(QStringLiteral("CORVANE_CONSOLE_LINE=router> \r\n")),
                 qPrintable(entries[1]));
        // The line is back: the outage's length and cycles, and no secondary probed.
        QVERIFY2(entries[2].contains(QStringLiteral("CORVANE_OUTAGE_SECONDS=90\r\n")),
                 qPrintable(entries[2]));
        QVERIFY(entries[2].contains(QStringLiteral("CORVANE_FAILING_CYCLES=2\r\n")));
        QVERIFY(entries[2].endsWith(QStringLiteral("CORVANE_STATUS_PRIMARY=0\r\n"
                                                   "CORVANE_STATUS_SECONDARY=")));
    }

    // Once the fail command went, the watch may wait for several answers before it
    // ends the outage; the line was back from the first of them, as the ledger says.
    void lineBackTellsTheLengthToTheFirstAnswer_data()
    {
        QTest::addColumn<int>("answersToEnd");
        QTest::addColumn<QString>("seconds");
        QTest::addRow("ended by the first answer") << 1 << QStringLiteral("90");
        QTest::addRow("ended by the third answer") << 3 << QStringLiteral("90");
    }

    void lineBackTellsTheLengthToTheFirstAnswer()
    {
        QFETCH(int, answersToEnd);
        QFETCH(QString, seconds);
        m_options.onLineBack = Quoted(
            Script(QStringLiteral("length"), QStringLiteral("echo $CORVANE_OUTAGE_SECONDS\n")));
        Outage();
        m_clock.advanceMs(60'000);
        const CycleReport answered = Answered();
        for (int answer = 1; answer <= answersToEnd; ++answer) {
            m_clock.advanceMs(30'000);
            if (answer == answersToEnd)
                m_programs->outageEnded();
            m_programs->cycleDone(answered);
        }
        QTRY_COMPARE(m_log.entries.size(), 1);
        QCOMPARE(Entries().constFirst(), QStringLiteral("Ran OnLineBack: exit 0.\r\n") + seconds);
    }

    // What a loss or round-trip limit decided, as the program's environment has it, read
    // back byte for byte: set only where a limit gave it; a held cycle is no failing one.
    void limitFiguresReachTheProgram_data()
    {
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("held");
        QTest::addColumn<QByteArray>("failing");
        QTest::addColumn<QByteArray>("told"); // the reason's bytes as the program sees them

        QTest::addRow("no limit") << QString() << false << QByteArray("2") << QByteArray();
        QTest::addRow("a reason") << QStringLiteral("Loss 40 %.") << false << QByteArray("2")
                                  << QByteArray("Loss 40 %.");
        QTest::addRow("held") << QStringLiteral("R") << true << QByteArray("1") << QByteArray("R");
        QTest::addRow("control bytes")
            << QStringLiteral("a,\"b\"\r\n") + QChar(u'\0') + QStringLiteral("\x1b[31m") << false
            << QByteArray("2") << QByteArray("a,\"b\"\r\n\xef\xbf\xbd\x1b[31m");
    }
    void limitFiguresReachTheProgram()
    {
        QFETCH(QString, reason);
        QFETCH(bool, held);
        QFETCH(QByteArray, failing);
        QFETCH(QByteArray, told);
        QByteArrayList expected{"CORVANE_FAILING_CYCLES=" + failing};
        if (!reason.isEmpty())
            expected << "CORVANE_LOSS_PERCENT_PRIMARY=33.3"
                     << "CORVANE_LOSS_PERCENT_SECONDARY=100"
                     << "CORVANE_MEDIAN_MS_PRIMARY=0"
                     << "CORVANE_REASON=" + told;
        const QString written = m_folder.filePath(QStringLiteral("environment"));
        m_options.onFailCommand =
            Quoted(Script(QStringLiteral("env"), QStringLiteral("env -0 >\"$1\"\n"))) + u' ' +
            Quoted(written);
        CycleReport cycle = Failed(1);
        if (!reason.isEmpty()) {
            cycle.primary.lossPercent = 100.0 / 3;
            cycle.primary.medianMs = 0;
            cycle.secondary->lossPercent = 100.0;
        }
        m_programs->outageStarted();
        m_programs->cycleDone(cycle);
        cycle.reason = reason;
        cycle.held = held;
        m_programs->cycleDone(cycle);
        m_programs->commandSent(CommandKind::Fail, QStringLiteral("^m"));
        QTRY_COMPARE(m_programs->running(), 0);
        QFile file(written);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArrayList found;
        static const QRegularExpression kLimitVariables(
            QStringLiteral("^CORVANE_(REASON|LOSS_PERCENT_.+|MEDIAN_MS_.+|FAILING_CYCLES)$"));
        for (const QByteArray &variable : file.readAll().split('\0')) {
            if (kLimitVariables.match(QString::fromLatin1(variable.left(variable.indexOf('='))))
                    .hasMatch())
                found << variable;
        }
        std::sort(found.begin(), found.end());
        QCOMPARE(found, expected);
    }

    void endsAndLogsOnce_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QString>("entry");
        QTest::addRow("exit status and output")
            << QStringLiteral("echo one; echo two >&2; exit 3") << QString()
            << QStringLiteral("Ran OnOutage: exit 3.\r\none\r\ntwo");
        QTest::addRow("missing program")
            << QString() << QStringLiteral("/nonexistent/alert --now")
            << QStringLiteral("OnOutage could not be started: no program \"/nonexistent/alert\" "
                              "was found.");
        QTest::addRow("hang") << QStringLiteral("sleep 30") << QString()
                              << QStringLiteral(
                                     "OnOutage did not finish within 1 second; stopped.");
        // Only the kill ends it, and the group's kill ends the sleep it started.
        QTest::addRow("hang that ignores SIGTERM")
            << QStringLiteral("trap '' TERM; echo waiting; sleep 30; sleep 30") << QString()
            << QStringLiteral("OnOutage did not finish within 1 second; stopped.\r\nwaiting");
        QTest::addRow("output beyond 2 KB")
            << QStringLiteral("head -c 100000 /dev/zero | tr '\\0' x") << QString()
            << QStringLiteral("Ran OnOutage: exit 0.\r\n") + QString(2048, u'x') +
                   QStringLiteral("\r\n(output cut at 2 KB)");
        QTest::addRow("cut between CR and LF")
            << QStringLiteral("head -c 2047 /dev/zero | tr '\\0' x; printf '\\r\\nmore\\r\\n'")
            << QString()
            << QStringLiteral("Ran OnOutage: exit 0.\r\n") + QString(2047, u'x') +
                   QStringLiteral("\r\n(output cut at 2 KB)");
        QTest::addRow("cut after nothing but line ends")
            << QStringLiteral("head -c 3000 /dev/zero | tr '\\0' '\\n'") << QString()
            << QStringLiteral("Ran OnOutage: exit 0.\r\n(output cut at 2 KB)");
        // The journal ends a record at NUL: what followed would be a record of its own, at
        // the priority its "<0>" names.
        QTest::addRow("NUL") << QStringLiteral("printf 'a\\000<0>FORGED'") << QString()
                             << QStringLiteral("Ran OnOutage: exit 0.\r\na <0>FORGED");
        QTest::addRow("priority at a line's start")
            << QStringLiteral("printf 'a\\n<0>FORGED\\n'") << QString()
            << QStringLiteral("Ran OnOutage: exit 0.\r\na\r\n<0>FORGED");
        QTest::addRow("lone CR and LF")
            << QStringLiteral("printf '50%%\\r100%%\\nend'") << QString()
            << QStringLiteral("Ran OnOutage: exit 0.\r\n50%\r\n100%\r\nend");
        QTest::addRow("escape sequence and tab")
            << QStringLiteral("printf '\\033[31mred\\033[0m\\tok\\007'") << QString()
            << QStringLiteral("Ran OnOutage: exit 0.\r\n [31mred [0m ok ");
        QTest::addRow("C1 control as UTF-8")
            << QStringLiteral("printf '\\302\\233[2J\\302\\205x\\177'") << QString()
            << QStringLiteral("Ran OnOutage: exit 0.\r\n [2J x ");
        QTest::addRow("not UTF-8")
            << QStringLiteral("printf 'caf\\351 \\303\\251t\\303\\251'") << QString()
            << QStringLiteral("Ran OnOutage: exit 0.\r\ncaf\uFFFD \u00E9t\u00E9");
    }
    void endsAndLogsOnce()
    {
        QFETCH(QString, body);
        QFETCH(QString, commandLine);
        QFETCH(QString, entry);
        m_options.eventTimeoutSeconds = 1;
        m_options.onOutage =
            commandLine.isEmpty() ? Quoted(Script(QStringLiteral("run"), body)) : commandLine;
        Outage();
        QTRY_COMPARE_WITH_TIMEOUT(m_programs->running(), 0, 10'000);
        QCOMPARE(Entries(), QStringList{entry});
    }

    // Anyone who may write the program or the settings could run anything as us.
    void refusesWhatOthersMayWrite_data()
    {
        QTest::addColumn<bool>("programWritable");
        QTest::addRow("program") << true;
        QTest::addRow("settings file") << false;
    }
    void refusesWhatOthersMayWrite()
    {
        QFETCH(bool, programWritable);
        const QString program = Script(QStringLiteral("run"), QStringLiteral("exit 0"),
                                       programWritable ? QFile::WriteOther : QFile::Permissions());
        if (!programWritable)
            QFile::setPermissions(m_settings,
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::WriteGroup);
        m_options.onOutage = Quoted(program);
        Outage();
        QCOMPARE(Entries(), QStringList{QStringLiteral("OnOutage could not be started: %1 may be "
                                                       "written by others than its owner.")
                                            .arg(programWritable ? program : m_settings)});
    }

    // A flood of events while the program runs starts no second copy; a stop ends the
    // one that runs, and its entry is written before the stop returns.
    void floodThenStop()
    {
        m_options.onOutage = Quoted(Script(QStringLiteral("run"), QStringLiteral("sleep 30")));
        for (int outage = 0; outage < 5; ++outage)
            Outage();
        QCOMPARE(m_programs->running(), 1);
        m_programs->watchStopping();
        QStringList expected(
            4, QStringLiteral("OnOutage skipped: the previous run has not finished."));
        expected << QStringLiteral("Ran OnOutage: ended by signal 15.");
        QCOMPARE(Entries(), expected);
        QCOMPARE(m_programs->running(), 0);
        Outage();
        QCOMPARE(m_programs->running(), 0);
    }

    // A program that ends at the time-out's SIGTERM leaves nothing it started behind,
    // not even a child that ignores SIGTERM.
    void timeOutEndsWhatTheProgramStarted()
    {
        const QString pidFile = m_folder.filePath(QStringLiteral("child.pid"));
        const QString child =
            Script(QStringLiteral("child"),
                   QStringLiteral("trap '' TERM\necho $$ >\"$1\"\nexec sleep 30\n"));
        m_options.eventTimeoutSeconds = 1;
        m_options.onOutage =
            Quoted(Script(QStringLiteral("run"),
                          QStringLiteral("%1 %2 &\nwait\n").arg(Quoted(child), Quoted(pidFile))));
        Outage();
        QTRY_COMPARE_WITH_TIMEOUT(m_programs->running(), 0, 10'000);
        QCOMPARE(Entries(),
                 QStringList{QStringLiteral("OnOutage did not finish within 1 second; stopped.")});
        QFile file(pidFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const int pid = file.readAll().trimmed().toInt();
        QVERIFY(pid > 0);
        // Gone, or a zombie that whoever inherited it has yet to reap.
        const auto ended = [pid] {
            QFile status(QStringLiteral("/proc/%1/stat").arg(pid));
            if (!status.open(QIODevice::ReadOnly))
                return true;
            const QByteArray line = status.readAll();
            const qsizetype state = line.lastIndexOf(')') + 2;
            return state < line.size() && (line.at(state) == 'Z' || line.at(state) == 'X');
        };
        const bool childEnded = QTest::qWaitFor(ended, 2000);
        ::kill(pid, SIGKILL);
        QVERIFY(childEnded);
    }

    // What runs is the file that was checked, whatever its name leads to by the time it
    // starts: a thread keeps exchanging the program with a file that fails the check
    // (anyone may write it), which leaves a marker if it ever runs.
    void swappedProgramNeverRuns()
    {
        const QString marker = m_folder.filePath(QStringLiteral("marker"));
        const QString program = Script(QStringLiteral("run"), QStringLiteral("exit 0\n"));
        const QString swapped =
            Script(QStringLiteral("swapped"), QStringLiteral("touch %1\n").arg(Quoted(marker)),
                   QFile::WriteOther);
        const QByteArray one = QFile::encodeName(program);
        const QByteArray other = QFile::encodeName(swapped);
        const auto exchange = [&] {
            return ::renameat2(AT_FDCWD, one.constData(), AT_FDCWD, other.constData(),
                               RENAME_EXCHANGE) == 0;
        };
        // Once to learn that the file system can, and again to put the files back.
        const bool exchanged = exchange();
        if (!exchanged || !exchange())
            QSKIP(qPrintable(QStringLiteral("this file system cannot exchange names: %1")
                                 .arg(QString::fromLocal8Bit(std::strerror(errno)))));
        m_options.onOutage = Quoted(program);
        std::atomic<int> swaps = 0;
        {
            std::jthread swapper([&](const std::stop_token &stop) {
                while (!stop.stop_requested())
                    swaps += exchange() ? 1 : 0;
            });
            for (int run = 0; run < 200; ++run) {
                // A refusal takes no time: each run waits for a swap, so that it meets
                // either file, not always the one the last run met.
                const int before = swaps;
                while (swaps == before)
                    std::this_thread::yield();
                Outage();
                QVERIFY(QTest::qWaitFor([this] { return m_programs->running() == 0; }, 10'000));
            }
        }
        QVERIFY2(!QFile::exists(marker), "the file swapped in after the check ran");
        // Both sides of the race were met, or it proved nothing.
        const qsizetype ran = Entries().count(QStringLiteral("Ran OnOutage: exit 0."));
        QVERIFY2(ran > 0 && ran < 200, qPrintable(QString::number(ran)));
    }
};

QTEST_GUILESS_MAIN(TestEventPrograms)
#include "tst_event_programs.moc"
