#include "EchoProbe.h"
#include "EngineRig.h"

#include <QTest>

namespace {

const QString kGeneralFailureText = QStringLiteral("11050   [ ip general failure ]");

enum class StopComes
{
    BeforeTheTick,
    DuringTheSchedule,
    DuringThePrimaryEcho,
    DuringTheSecondaryEcho,
};

} // namespace

Q_DECLARE_METATYPE(StopComes)

class TestBlindAndStop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // After two failing cycles, one more whose echoes meet the given obstacles.
    void blindCycleNeitherFailsNorAnswers_data()
    {
        QTest::addColumn<bool>("primaryRefused");
        QTest::addColumn<quint32>("secondaryStatus");
        QTest::addColumn<bool>("secondaryRefused");
        QTest::addColumn<int>("failCount");
        QTest::addColumn<bool>("noticed");

        QTest::addRow("primary refused, secondary silent")
            << true << kEchoTimedOut << false << 2 << true;
        QTest::addRow("primary silent, secondary refused")
            << false << kEchoGeneralFailure << true << 2 << true;
        QTest::addRow("primary refused, secondary answers") << true << 0u << false << 0 << false;
        // A network or host the kernel knows to be unreachable is the line's fault.
        QTest::addRow("unreachable counts as failure") << false << 11002u << false << 3 << false;
    }

    void blindCycleNeitherFailsNorAnswers()
    {
        QFETCH(bool, primaryRefused);
        QFETCH(quint32, secondaryStatus);
        QFETCH(bool, secondaryRefused);
        QFETCH(int, failCount);
        QFETCH(bool, noticed);

        EngineRig rig;
        rig.setRetries(3);
        rig.failingCycles(2);
        if (primaryRefused)
            rig.echo.refuse(kPrimary);
        if (secondaryRefused)
            rig.echo.refuse(kSecondary);
        else
            rig.echo.script(kSecondary, secondaryStatus, 8);
        rig.engine.PingCycle();

        if (primaryRefused)
            QCOMPARE(rig.fields.text(Field::StatusPri), kGeneralFailureText);
        if (secondaryRefused)
            QCOMPARE(rig.fields.text(Field::StatusSec), kGeneralFailureText);
        QCOMPARE(rig.engine.FailCount(), failCount);
        QCOMPARE(rig.meter.value(), failCount);
        QCOMPARE(rig.boxes.shown.size(), noticed ? 1 : 0);
        const bool acted = failCount == 3;
        QCOMPARE(rig.sender.commands.size(), acted ? 1 : 0);
        QCOMPARE(rig.log.entries.size(), acted || noticed ? 1 : 0);
    }

    // A pinned path not there yet blinds the watch as a missing permission does, with no
    // advice on permissions: start-up said what is missing. One address without its path
    // and one that answers is an answered cycle.
    void missingPathBlindsWithoutPermissionAdvice_data()
    {
        QTest::addColumn<bool>("secondaryAnswers");
        QTest::addColumn<int>("failCount");
        QTest::addRow("no path for either") << false << 2;
        QTest::addRow("the secondary answers") << true << 0;
    }
    void missingPathBlindsWithoutPermissionAdvice()
    {
        QFETCH(bool, secondaryAnswers);
        EngineRig rig;
        rig.setRetries(3);
        rig.failingCycles(2);
        rig.echo.unpin(kPrimary);
        if (secondaryAnswers)
            rig.echo.script(kSecondary, 0, 8);
        else
            rig.echo.unpin(kSecondary);
        rig.failingCycles(3);

        QTEST(int(rig.engine.FailCount()), "failCount");
        QVERIFY(rig.boxes.shown.isEmpty());
        QVERIFY(rig.log.entries.isEmpty());
        QVERIFY(rig.sender.commands.isEmpty());
    }

    void permissionNoticeOncePerBlindRun()
    {
        EngineRig rig;
        rig.setRetries(2);
        rig.echo.socketsAllowed = false;
        rig.echo.refuse(kPrimary);
        rig.echo.refuse(kSecondary);
        // The test at start-up begins the run; the blind cycles after it continue it.
        rig.engine.CheckEchoPermission();
        rig.failingCycles(6);
        QCOMPARE(rig.log.entries.size(), 1);
        QCOMPARE(rig.boxes.shown.size(), 1);
        QVERIFY(rig.sender.commands.isEmpty());
        QCOMPARE(rig.engine.FailCount(), 0);

        const RecordingLog::Entry &entry = rig.log.entries.first();
        QVERIFY(entry.stamp);
        QVERIFY(entry.spaced);
        QCOMPARE(entry.category, kSystemMessage);
        // Each fix is a line of its own that can be typed as it stands.
        const QStringList lines = entry.message.split(QStringLiteral("\r\n"));
        QVERIFY(lines.first().startsWith(u"Pings cannot be sent"));
        QVERIFY(lines.contains(QStringLiteral("echo 'net.ipv4.ping_group_range = 0 2147483647' "
                                              "| sudo tee /etc/sysctl.d/60-ping.conf")));
        QVERIFY(lines.contains(QStringLiteral("sudo sysctl --system")));
        QCOMPARE(lines.last(), QStringLiteral("sudo setcap cap_net_raw+ep /opt/corvane/corvane"));
        const FakeMessageBoxes::Shown &box = rig.boxes.shown.first();
        QCOMPARE(box.title, QStringLiteral("Ping Permission"));
        QCOMPARE(box.style, BoxStyle::OkExclamation);
        // The box marks the commands, so that they are never broken.
        QStringList boxLines = box.text.split(u'\n');
        QCOMPARE(boxLines[2], QStringLiteral("  ") + lines[2]);
        for (QString &line : boxLines)
            line = line.trimmed();
        QCOMPARE(boxLines, lines);

        // Permission granted: echoes go out, the count resumes and the outage acts.
        rig.echo.script(kPrimary, kEchoTimedOut);
        rig.echo.script(kSecondary, kEchoTimedOut);
        rig.failingCycles(2);
        QCOMPARE(rig.sender.commands.size(), 1);

        // Taken away again: a new run, a new notice, and the outage's state stays.
        rig.echo.refuse(kPrimary);
        rig.echo.refuse(kSecondary);
        rig.failingCycles(3);
        QCOMPARE(rig.boxes.shown.size(), 2);
        QCOMPARE(rig.log.entries.size(), 3);
        QCOMPARE(rig.engine.FailCount(), 2);
        QVERIFY(rig.engine.FailSent());
    }

    void programPathIsQuotedForTheShell()
    {
        RecordingLog log;
        FakeMessageBoxes boxes;
        PingPermissionNotice notice(log, boxes, QStringLiteral("/home/ann/my apps/it's/corvane"));
        notice.NoPermission();
        QVERIFY(log.entries.first().message.endsWith(
            QStringLiteral("sudo setcap cap_net_raw+ep '/home/ann/my apps/it'\\''s/corvane'")));
    }

    // One cycle short of acting, a stop comes: nothing is counted, logged or sent.
    void stopLeavesTheOutageAlone_data()
    {
        QTest::addColumn<StopComes>("when");
        QTest::addColumn<int>("echoes");
        QTest::addColumn<int>("scheduleChecks");

        QTest::addRow("before the tick") << StopComes::BeforeTheTick << 0 << 0;
        QTest::addRow("during the schedule's send") << StopComes::DuringTheSchedule << 0 << 1;
        QTest::addRow("during the primary's echo") << StopComes::DuringThePrimaryEcho << 1 << 1;
        QTest::addRow("during the secondary's echo") << StopComes::DuringTheSecondaryEcho << 2 << 1;
    }

    void stopLeavesTheOutageAlone()
    {
        QFETCH(StopComes, when);
        QFETCH(int, echoes);
        QFETCH(int, scheduleChecks);

        EngineRig rig;
        rig.engine.SetPingPeriod(1);
        rig.failingCycles(4);
        rig.echo.requests.clear();
        const QString statusShown = rig.fields.text(Field::StatusSec);
        const EchoResult stoppedWait{kEchoGeneralFailure, 0, EchoHindrance::Stopped};
        switch (when) {
        case StopComes::BeforeTheTick:
            rig.stop.stop();
            break;
        case StopComes::DuringTheSchedule:
            rig.onCheckSchedule = [&rig] { rig.stop.stop(); };
            break;
        case StopComes::DuringThePrimaryEcho:
            rig.echo.script(kPrimary, stoppedWait.status, 0, stoppedWait.hindrance);
            break;
        case StopComes::DuringTheSecondaryEcho:
            rig.echo.script(kSecondary, stoppedWait.status, 0, stoppedWait.hindrance);
            break;
        }
        rig.engine.OnSecondTick();
        QCOMPARE(rig.echo.requests.size(), echoes);
        QCOMPARE(rig.tickCountsSeenBySchedule.size(), scheduleChecks);
        QCOMPARE(rig.engine.FailCount(), 4);
        QVERIFY(rig.log.entries.isEmpty());
        QVERIFY(rig.sender.commands.isEmpty());
        QCOMPARE(rig.fields.text(Field::StatusSec), statusShown);

        // PING NOW queued behind the stop does nothing either.
        rig.stop.stop();
        rig.engine.PingCycle();
        QCOMPARE(rig.echo.requests.size(), echoes);
        QVERIFY(rig.log.entries.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBlindAndStop)
#include "tst_blind_and_stop.moc"
