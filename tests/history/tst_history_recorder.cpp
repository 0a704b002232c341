#include "HistoryRetention.h"
#include "HistoryRig.h"
#include "HistorySchema.h"

#include <QtTest>

#include <algorithm>

class HistoryRecorderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void outageBoundaries_data();
    void outageBoundaries();
    void idleRowsWaitForEachOther_data();
    void idleRowsWaitForEachOther();
    void consoleKeptToTwoKilobytesOfTheOutage();
    void cyclesFoldIntoHoursAndExpire();
    void rangeFoldsSeriesIntoBucketsAndKeepsPeaks();
    void versionOneUpgradesInPlace();
    void switchedOffKeepsNoFile();
    void onePathPerSettingsFolder_data();
    void onePathPerSettingsFolder();
    void linkedSettingsFolderSharesItsHistory();

private:
    QTemporaryDir m_folder;
};

namespace {

// The steps of a script, one second per cycle: a/f an answered/failing timed cycle,
// A/F the same by PING NOW, "send" a fail command, "test" FAIL TEST, "scheduled" a
// scheduled send, "stop" the stop line followed by a minute without the program,
// "start" a new watch, "back" the wall clock set back two hours, h an answered cycle
// that the watch keeps inside the outage, "tick" the watch's second tick.
void Play(HistoryRig &rig, const QString &script)
{
    for (const QString &step : script.split(QLatin1Char(' '))) {
        if (step == QLatin1String("start")) {
            rig.start();
        } else if (step == QLatin1String("stop")) {
            rig.recorder.watchStopped();
            rig.clock.advanceMs(60LL * 1000);
        } else if (step == QLatin1String("back")) {
            rig.clock.set(rig.clock.now().addSecs(-2LL * 3600));
        } else if (step == QLatin1String("send")) {
            rig.recorder.commandSent(CommandKind::Fail, QStringLiteral("^m"));
        } else if (step == QLatin1String("test")) {
            rig.recorder.commandSent(CommandKind::FailTest, QStringLiteral("^m"));
        } else if (step == QLatin1String("scheduled")) {
            rig.recorder.commandSent(CommandKind::Scheduled, QStringLiteral("reboot"));
        } else if (step == QLatin1String("tick")) {
            rig.recorder.watchTicked();
        } else if (step == QLatin1String("h")) {
            rig.recorder.cycleDone(AnsweredCycle(5));
            rig.clock.advanceMs(1000);
        } else if (step.compare(QLatin1String("a"), Qt::CaseInsensitive) == 0) {
            rig.answer(5, step == QLatin1String("A"));
        } else {
            rig.fail(step == QLatin1String("F"));
        }
    }
}

} // namespace

// Each script (see Play) runs on a fresh store. The ledger lists each outage as "start-end failing
// sent", in seconds from the first start, and "stop" when a stop ended it.
void HistoryRecorderTest::outageBoundaries_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("ledger");

    QTest::addRow("the first cycle fails") << "start f f a" << QStringList{"0-2 2 0"};
    QTest::addRow("PING NOW failing inside an outage")
        << "start a f F f send a" << QStringList{"1-4 3 1"};
    QTest::addRow("PING NOW answering inside an outage")
        << "start f A f a" << QStringList{"0-1 1 0", "2-3 1 0"};
    QTest::addRow("stop during an outage ends it at its last cycle")
        << "start a f f send stop" << QStringList{"1-2 2 1 stop"};
    QTest::addRow("a start after a stop does not move that end")
        << "start a f f stop start f a" << QStringList{"1-2 2 0 stop", "63-64 1 0"};
    QTest::addRow("the wall clock set back during an outage")
        << "start a f back f f a" << QStringList{"1-4 3 0"};
    QTest::addRow("the wall clock set back, then a stop")
        << "start f f back f stop" << QStringList{"0-2 3 0 stop"};
    QTest::addRow("start after a stop without an outage")
        << "start f a stop start a" << QStringList{"0-1 1 0"};
    QTest::addRow("FAIL TEST and scheduled sends are not fail commands")
        << "start f test scheduled a" << QStringList{"0-1 1 0"};
    QTest::addRow("answers the watch waits out end the outage at the first of them")
        << "start f send h f h h a" << QStringList{"0-3 2 1"};
}

void HistoryRecorderTest::outageBoundaries()
{
    QFETCH(QString, script);
    QFETCH(QStringList, ledger);
    QTemporaryDir folder;
    HistoryRig rig(folder.path());
    const qint64 startMs = rig.nowMs();
    Play(rig, script);

    QStringList shown;
    const HistoryRange range = rig.store.range(startMs - 3 * kHourMs, startMs + kHourMs, 100);
    for (const OutageEntry &outage : range.outages) {
        shown.append(
            QStringLiteral("%1-%2 %3 %4%5")
                .arg((outage.startMs - startMs) / 1000)
                .arg(outage.endMs ? QString::number((*outage.endMs - startMs) / 1000) : QString())
                .arg(outage.failingCycles)
                .arg(outage.failCommandsSent)
                .arg(outage.endedByStop ? QStringLiteral(" stop") : QString()));
    }
    QCOMPARE(shown, ledger);
    const QStringList cycles =
        script.split(QLatin1Char(' ')).filter(QRegularExpression(QStringLiteral("^[aAfFh]$")));
    QCOMPARE(range.cycles, cycles.size());
    QVERIFY(rig.boxes.shown.isEmpty());
}

// While the line is up, cycles a second apart wait in the store until the first has
// waited five seconds, and go in together; anything about an outage, a command or the
// stop takes them with it at once. Each script (see Play) follows a start and an
// answered cycle, which the first retention pass writes. The file, read beside the
// store, holds "cycles outages ended-outages events".
void HistoryRecorderTest::idleRowsWaitForEachOther_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("written");
    QTest::addColumn<int>("waiting");

    QTest::addRow("idle cycles within the window") << "a a a a tick"
                                                   << "1 0 0 1" << 4;
    QTest::addRow("a tick at the window's end") << "a a a a a tick"
                                                << "6 0 0 1" << 0;
    QTest::addRow("a cycle past the window's end") << "a a a a a a"
                                                   << "7 0 0 1" << 0;
    QTest::addRow("an outage's start") << "a a f"
                                       << "4 1 0 1" << 0;
    QTest::addRow("an outage's end, its answer waiting") << "a f a"
                                                         << "3 1 1 1" << 1;
    QTest::addRow("a failing cycle inside the outage") << "f h h"
                                                       << "4 1 0 1" << 0;
    QTest::addRow("FAIL TEST") << "a a test"
                               << "3 0 0 2" << 0;
    QTest::addRow("the stop") << "a a stop"
                              << "3 0 0 2" << 0;
}

void HistoryRecorderTest::idleRowsWaitForEachOther()
{
    QFETCH(QString, script);
    QFETCH(QString, written);
    QFETCH(int, waiting);
    QTemporaryDir folder;
    HistoryRig rig(folder.path());
    Play(rig, QStringLiteral("start a"));
    QCOMPARE(rig.store.waiting(), 0);
    Play(rig, script);
    const QString inFile = rig.value(QStringLiteral("SELECT (SELECT count(*) FROM cycles) || ' ' ||"
                                                    " (SELECT count(*) FROM outages) || ' ' ||"
                                                    " (SELECT count(ended) FROM outages) || ' ' ||"
                                                    " (SELECT count(*) FROM events)"))
                               .toString();
    QCOMPARE(inFile, written);
    QCOMPARE(rig.store.waiting(), waiting);
}

void HistoryRecorderTest::consoleKeptToTwoKilobytesOfTheOutage()
{
    HistoryRig rig(m_folder.filePath(QStringLiteral("console")));
    rig.start();
    rig.recorder.consoleReceived("before the outage");
    rig.fail();
    rig.recorder.consoleReceived(QByteArray(1500, 'a'));
    rig.recorder.consoleReceived(QByteArray(1500, 'b'));
    rig.recorder.consoleReceived("after the limit");
    rig.answer(5);
    rig.recorder.consoleReceived("after the outage");

    const QList<OutageEntry> outages = rig.store.range(0, rig.nowMs(), 10).outages;
    QCOMPARE(outages.size(), 1);
    QCOMPARE(outages[0].console, QByteArray(1500, 'a') + QByteArray(548, 'b'));
}

void HistoryRecorderTest::cyclesFoldIntoHoursAndExpire()
{
    HistoryRig rig(m_folder.filePath(QStringLiteral("fold")));
    rig.clock.set(QDateTime::fromMSecsSinceEpoch(1767225600000)); // an hour's start
    const qint64 startMs = rig.nowMs();
    rig.start();
    // 40 days, a cycle every 10 minutes: round trips 10 to 60 ms within each hour,
    // one peak of 900 ms on the second day, and a failing cycle in each fifth hour.
    constexpr qint64 kPeriodMs = 10LL * 60 * 1000;
    const qint64 cycles = 40 * kDayMs / kPeriodMs;
    const qint64 peakCycle = 30LL * 6;
    qint64 failing = 0;
    for (qint64 cycle = 0; cycle < cycles; ++cycle) {
        if (cycle % 30 == 3) {
            rig.fail(false, kPeriodMs);
            ++failing;
        } else {
            rig.answer(cycle == peakCycle ? 900 : qint32(10 + 10 * (cycle % 6)), false, kPeriodMs);
        }
    }
    const qint64 endMs = rig.nowMs();
    // The passes kept up: every hour but the one the last cycle was in is summed up.
    QCOMPARE(rig.value(QStringLiteral("SELECT count(*) FROM hours")).toLongLong(), 40 * 24 - 1);
    const auto outagesAndEvents = [&rig] {
        return std::pair(rig.value(QStringLiteral("SELECT count(*) FROM outages")).toLongLong(),
                         rig.value(QStringLiteral("SELECT count(*) FROM events")).toLongLong());
    };
    const auto recorded = outagesAndEvents();
    QCOMPARE(recorded.first, failing);

    // The rest of a pass: the per-cycle rows left are the last 35 days of whole hours.
    while (rig.store.foldBatch(endMs)) {
    }
    QCOMPARE(rig.value(QStringLiteral("SELECT count(*) FROM hours")).toLongLong(), 40 * 24);
    QCOMPARE(rig.value(QStringLiteral("SELECT min(at) FROM cycles")).toLongLong(),
             HourStart(endMs - kCycleRetentionMs));
    // 10, 20, 30, 40, 50, 60: the lower middle one.
    QCOMPARE(rig.value(QStringLiteral("SELECT primary_median FROM hours WHERE hour = %1")
                           .arg(startMs + kHourMs))
                 .toInt(),
             30);

    const HistoryRange whole = rig.store.range(startMs, endMs, 400);
    QCOMPARE(whole.cycles, cycles);
    QCOMPARE(whole.answeredCycles, cycles - failing);
    QVERIFY(whole.primary.size() <= 400);
    const auto highest = std::max_element(
        whole.primary.cbegin(), whole.primary.cend(),
        [](const RoundTripPoint &a, const RoundTripPoint &b) { return a.maximumMs < b.maximumMs; });
    QCOMPARE(highest->maximumMs, 900); // from the summary of an hour whose cycles are gone

    // Only the per-cycle rows go after 35 days: the outages and events of the first
    // days stay, and so do the summaries until the three years are nearly up.
    QCOMPARE(outagesAndEvents(), recorded);
    rig.clock.set(QDateTime::fromMSecsSinceEpoch(startMs + kSummaryRetentionMs - kHourMs));
    while (rig.store.foldBatch(rig.nowMs())) {
    }
    QCOMPARE(rig.value(QStringLiteral("SELECT count(*) FROM cycles")).toLongLong(), 0);
    QCOMPARE(rig.value(QStringLiteral("SELECT count(*) FROM hours")).toLongLong(), 40 * 24);
    QCOMPARE(outagesAndEvents(), recorded);

    // Three years on, the summaries and the outages go too.
    rig.clock.advanceMs(kSummaryRetentionMs + kDayMs);
    while (rig.store.foldBatch(rig.nowMs())) {
    }
    QCOMPARE(rig.value(QStringLiteral("SELECT count(*) FROM cycles")).toLongLong(), 0);
    QCOMPARE(rig.value(QStringLiteral("SELECT count(*) FROM hours")).toLongLong(), 0);
    QCOMPARE(rig.value(QStringLiteral("SELECT count(*) FROM outages")).toLongLong(), 0);
    QCOMPARE(rig.value(QStringLiteral("SELECT count(*) FROM events")).toLongLong(), 0);
}

void HistoryRecorderTest::rangeFoldsSeriesIntoBucketsAndKeepsPeaks()
{
    HistoryRig rig(m_folder.filePath(QStringLiteral("range")));
    const qint64 startMs = rig.nowMs();
    rig.start();
    // An hour of one-second cycles on the primary address: a minute of them failing
    // over to the secondary one, which answers with a dip of 1 ms, two minutes
    // without any answer, and a peak of 700 ms.
    for (int second = 0; second < 3600; ++second) {
        if (second >= 1020 && second < 1080) {
            CycleReport report = FailedCycle(0);
            report.secondary->status = 0;
            report.secondary->roundTripMs = second == 1050 ? 1 : 20;
            report.answered = true;
            rig.recorder.cycleDone(report);
            rig.clock.advanceMs(1000);
        } else if (second >= 2040 && second < 2160) {
            rig.fail();
        } else {
            rig.answer(second == 3000 ? 700 : 10 + second % 7);
        }
    }
    const HistoryRange range = rig.store.range(startMs, startMs + 3600LL * 1000, 60);
    QCOMPARE(range.cycles, 3600);
    QCOMPARE(range.answeredCycles, 3480);
    QCOMPARE(range.primary.size(), 60 - 1 - 2); // two minutes without an answer
    QCOMPARE(range.secondary.size(), 1);
    QCOMPARE(range.secondary[0].minimumMs, 1);
    QCOMPARE(range.secondary[0].maximumMs, 20);
    QCOMPARE(range.failingCycleMs.size(), 2);
    QCOMPARE(range.failingCycleMs[0], startMs + 2040LL * 1000);
    // The 51st minute, less the three without a primary answer before it.
    QCOMPARE(range.primary[47].maximumMs, 700);
    QCOMPARE(range.primary[47].minimumMs, 10);
    QCOMPARE(range.primary[47].atMs, startMs + 3000LL * 1000);
}

void HistoryRecorderTest::versionOneUpgradesInPlace()
{
    const QString folder = m_folder.filePath(QStringLiteral("upgrade"));
    QDir().mkpath(folder);
    {
        SqliteConnection connection(folder + QStringLiteral("/history.sqlite"),
                                    SqliteConnection::Access::ReadWrite);
        connection.open();
        const QSqlDatabase database = connection.database();
        UpgradeSchema(database, 0, 1);
        RunOnce(database,
                QStringLiteral("INSERT INTO cycles VALUES(1000, %1, NULL, %1, NULL, 1, 0)")
                    .arg(kTimedOut));
        RunOnce(database, QStringLiteral("INSERT INTO outages(started, failing_cycles)"
                                         " VALUES(1000, 1)"));
    }
    HistoryRig rig(folder);
    rig.start();
    CycleReport report = FailedCycle(1);
    report.primary.resolved = QStringLiteral("127.0.0.9");
    report.echoes = 6;
    rig.recorder.outageStarted();
    rig.recorder.cycleDone(report);

    QCOMPARE(rig.value(QStringLiteral("PRAGMA user_version")).toInt(), kHistorySchemaVersion);
    QCOMPARE(rig.value(QStringLiteral("PRAGMA application_id")).toInt(), kHistoryApplicationId);
    QCOMPARE(rig.value(QStringLiteral("SELECT echoes FROM cycles WHERE at > 1000")).toInt(), 6);
    const QList<OutageEntry> outages = rig.store.range(0, rig.nowMs() + 1, 10).outages;
    QCOMPARE(outages.size(), 2);
    QCOMPARE(outages[0].endMs, 1000); // closed at its last cycle by the start
    QCOMPARE(outages[1].resolvedAddress, QStringLiteral("127.0.0.9"));
    QCOMPARE(rig.value(QStringLiteral("SELECT text FROM cycles JOIN addresses"
                                      " ON primary_resolved = addresses.id"))
                 .toString(),
             QStringLiteral("127.0.0.9"));

    // Upgraded alike to a new store.
    HistoryRig fresh(m_folder.filePath(QStringLiteral("fresh")));
    fresh.start();
    const QString schema = QStringLiteral("SELECT group_concat(sql, ';') FROM (SELECT sql FROM"
                                          " sqlite_master ORDER BY name)");
    QCOMPARE(rig.value(schema).toString(), fresh.value(schema).toString());
    QCOMPARE(fresh.value(QStringLiteral("PRAGMA application_id")).toInt(), kHistoryApplicationId);
}

void HistoryRecorderTest::onePathPerSettingsFolder_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("store");

    QTest::addRow("default") << ""
                             << "/var/lib/corvane/Corvane/history.sqlite";
    QTest::addRow("the default folder named") << "/etc/xdg/corvane/"
                                              << "/var/lib/corvane/Corvane/history.sqlite";
    QTest::addRow("another folder") << "/etc/corvane/router-2"
                                    << "/var/lib/corvane/Corvane/instances/router-2-";
    QTest::addRow("an odd name") << "/etc/corvane/line b+c"
                                 << "/var/lib/corvane/Corvane/instances/line_b_c-";
}

void HistoryRecorderTest::onePathPerSettingsFolder()
{
    QFETCH(QString, settings);
    QFETCH(QString, store);
    qputenv("XDG_DATA_HOME", "/var/lib/corvane");
    qputenv("XDG_CONFIG_HOME", "/etc/xdg/corvane");
    const QString path = HistoryStorePath(settings);
    QVERIFY2(path.startsWith(store), qPrintable(path));
    if (path == store)
        return;
    // The hash tells apart two folders of one name.
    QVERIFY2(
        QRegularExpression(QStringLiteral("-[0-9a-f]{8}/history\\.sqlite$")).match(path).hasMatch(),
        qPrintable(path));
    QCOMPARE(HistoryStorePath(settings + QStringLiteral("/./")), path);
    QVERIFY(path != HistoryStorePath(QStringLiteral("/srv/") + QFileInfo(settings).fileName()));
}

// A settings folder reached through a symbolic link is the same folder: one history.
void HistoryRecorderTest::linkedSettingsFolderSharesItsHistory()
{
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("router1")));
    const QString folder = root.filePath(QStringLiteral("router1"));
    const QString link = root.filePath(QStringLiteral("link"));
    QVERIFY(QFile::link(folder, link));
    QCOMPARE(HistoryStorePath(link), HistoryStorePath(folder));
    QCOMPARE(HistoryStorePath(link + QStringLiteral("/")), HistoryStorePath(folder));
}

// History=0: the watch goes on, and no store is made or written.
void HistoryRecorderTest::switchedOffKeepsNoFile()
{
    QTemporaryDir folder;
    HistoryRig rig(folder.path());
    rig.recorder.setEnabled(false);
    rig.start();
    rig.fail();
    rig.answer(12);
    rig.recorder.commandSent(CommandKind::Fail, QStringLiteral("^m"));
    rig.recorder.watchStopped();
    QVERIFY(!QFile::exists(rig.path));
    QVERIFY(rig.log.entries.isEmpty());
}

QTEST_GUILESS_MAIN(HistoryRecorderTest)
#include "tst_history_recorder.moc"
