#include "EchoProbe.h"
#include "EngineRig.h"

#include <QTest>

namespace {

QString PercentTip(const QString &percentage)
{
    return QStringLiteral("Corvane (") + percentage + QStringLiteral("%)");
}

} // namespace

class TestPingCycle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsResults_data()
    {
        QTest::addColumn<quint32>("primaryStatus");
        QTest::addColumn<quint32>("secondaryStatus");
        QTest::addColumn<QString>("tripPri");
        QTest::addColumn<bool>("secondaryTried");
        QTest::addColumn<QString>("tripSec");
        QTest::addColumn<int>("failCount");

        QTest::addRow("primary answers") << 0u << 0u << "12" << false << "" << 0;
        QTest::addRow("primary fails, secondary answers")
            << kEchoTimedOut << 0u << "" << true << "34" << 0;
        QTest::addRow("both fail") << kEchoTimedOut << 11003u << "" << true << "" << 1;
    }

    void showsResults()
    {
        QFETCH(quint32, primaryStatus);
        QFETCH(quint32, secondaryStatus);
        QFETCH(QString, tripPri);
        QFETCH(bool, secondaryTried);
        QFETCH(QString, tripSec);
        QFETCH(int, failCount);

        EngineRig rig;
        // Leftovers of an earlier cycle that this one must replace.
        rig.fields.setText(Field::TripPri, QStringLiteral("99"));
        rig.fields.setText(Field::StatusSec, QStringLiteral("old"));
        rig.fields.setText(Field::TripSec, QStringLiteral("98"));
        rig.echo.script(kPrimary, primaryStatus, 12);
        rig.echo.script(kSecondary, secondaryStatus, 34);
        rig.engine.PingCycle();

        QCOMPARE(rig.fields.text(Field::StatusPri), EchoStatusText(qint32(primaryStatus)));
        QCOMPARE(rig.fields.text(Field::TripPri), tripPri);
        QCOMPARE(rig.echo.requests.size(), secondaryTried ? 2 : 1);
        QCOMPARE(rig.fields.text(Field::StatusSec),
                 secondaryTried ? EchoStatusText(qint32(secondaryStatus)) : QString());
        QCOMPARE(rig.fields.text(Field::TripSec), tripSec);
        QCOMPARE(rig.fields.isEnabled(Field::StatusSec), secondaryTried);
        QCOMPARE(rig.fields.isEnabled(Field::TripSec), secondaryTried);
        QCOMPARE(rig.engine.FailCount(), failCount);
        QCOMPARE(rig.meter.value(), failCount);
    }

    void sameResultsLeaveTheWindowAlone()
    {
        EngineRig rig;
        rig.echo.script(kPrimary, kEchoTimedOut);
        rig.echo.script(kSecondary, kEchoSuccess, 4);
        rig.engine.PingCycle();
        const int afterFirst = rig.fields.textsSet;
        rig.engine.PingCycle();
        QCOMPARE(rig.fields.textsSet, afterFirst);

        rig.echo.script(kSecondary, kEchoSuccess, 5);
        rig.engine.PingCycle();
        QCOMPARE(rig.fields.textsSet, afterFirst + 1);
        QCOMPARE(rig.fields.text(Field::TripSec), QStringLiteral("5"));
    }

    void outageSendsAtRetriesThenLogsOnly()
    {
        EngineRig rig;
        // The log quotes the retries as typed, not as the number they stand for.
        rig.fields.setText(Field::FailTries, QStringLiteral("05"));
        rig.failingCycles(4);
        QCOMPARE(rig.tray.tips, QStringList({PercentTip("20"), PercentTip("40"), PercentTip("60"),
                                             PercentTip("80")}));
        QVERIFY(rig.log.entries.isEmpty());
        QVERIFY(rig.sender.commands.isEmpty());

        rig.engine.PingCycle();
        QCOMPARE(rig.tray.tips.mid(4), QStringList({PercentTip("100"), kFailCommandSent}));
        QCOMPARE(rig.log.entries.size(), 1);
        const RecordingLog::Entry &entry = rig.log.entries.first();
        QCOMPARE(entry.message,
                 QStringLiteral("No response after 05 ping attempts.  Sending fail command."));
        QVERIFY(entry.stamp);
        QVERIFY(entry.spaced);
        QCOMPARE(entry.category, kSystemMessage);
        QCOMPARE(rig.sender.commands, QStringList({QStringLiteral("^m^m")}));
        QVERIFY(rig.engine.FailSent());
        QCOMPARE(rig.engine.ResendAtMs(), rig.clock.monotonicMs() + 30 * 60'000LL);
        QCOMPARE(rig.engine.ShownFailCount(), 5);

        // A continuing outage only logs; the tip keeps saying the command went out.
        rig.failingCycles(2);
        QCOMPARE(rig.tray.tips.size(), 6);
    }

    void resendsAfterDelay_data()
    {
        QTest::addColumn<qint64>("wallClockStepMs");
        QTest::addRow("steady wall clock") << qint64(0);
        QTest::addRow("wall clock set back an hour") << -3'600'000LL;
        QTest::addRow("wall clock set forward an hour") << 3'600'000LL;
    }

    void resendsAfterDelay()
    {
        QFETCH(qint64, wallClockStepMs);

        // Cycles one minute apart and a 30-minute delay: the cycle that finds the delay
        // over only re-arms, so the next send comes 31 cycles after the first. A step
        // of the wall clock during the outage (NTP, the user) changes nothing.
        EngineRig rig;
        QList<int> sendingCycles;
        for (int cycle = 1; cycle <= 70; ++cycle) {
            rig.clock.advanceMs(60'000);
            if (cycle == 10)
                rig.clock.set(rig.clock.now().addMSecs(wallClockStepMs));
            const qsizetype sentBefore = rig.sender.commands.size();
            rig.engine.PingCycle();
            if (rig.sender.commands.size() > sentBefore)
                sendingCycles.append(cycle);
        }
        QCOMPARE(sendingCycles, QList<int>({5, 36, 67}));
        QCOMPARE(rig.log.entries.size(), 70 - 4);
        QCOMPARE(rig.logMessages().count(QStringLiteral("No response to pings.")), 70 - 4 - 3);
    }

    void recoveryEndsOutageSilently()
    {
        EngineRig rig;
        rig.failingCycles(7);
        const qsizetype entriesDuringOutage = rig.log.entries.size();

        rig.echo.script(kSecondary, kEchoSuccess, 3);
        rig.engine.PingCycle();
        QCOMPARE(rig.log.entries.size(), entriesDuringOutage);
        QCOMPARE(rig.meter.value(), 0);
        QCOMPARE(rig.tray.tips.last(), PercentTip("0"));
        QVERIFY(!rig.engine.FailSent());
        QCOMPARE(rig.engine.ShownFailCount(), 0);

        // A new outage acts at the threshold again, long before the old resend time.
        rig.echo.script(kSecondary, kEchoTimedOut);
        rig.failingCycles(4);
        QCOMPARE(rig.sender.commands.size(), 1);
        rig.engine.PingCycle();
        QCOMPARE(rig.sender.commands.size(), 2);
        QCOMPARE(rig.tray.tips.last(), kFailCommandSent);
    }

    void outageEventsFrameItsCycles()
    {
        EngineRig rig;
        rig.setRetries(2);
        rig.echo.script(kPrimary, kEchoSuccess, 4);
        rig.engine.PingCycle();
        rig.echo.script(kPrimary, kEchoTimedOut);
        rig.failingCycles(2);
        rig.engine.FailTest();
        rig.echo.script(kSecondary, kEchoSuccess, 9);
        rig.engine.SetPingPeriod(1);
        rig.engine.OnSecondTick();

        QCOMPARE(rig.events.events,
                 QStringList({"cycle answered 0", "outage started", "cycle failed 1",
                              "cycle failed 2", "sent fail ^m^m", "sent fail test ^m^m",
                              "outage ended", "cycle answered 0"}));
        const CycleReport &first = rig.events.cycles.first();
        QCOMPARE(first.primary.address, kPrimary);
        QCOMPARE(first.primary.roundTripMs, 4);
        QVERIFY(!first.secondary);
        QVERIFY(first.byUser);
        const CycleReport &last = rig.events.cycles.last();
        QCOMPARE(last.primary.status, qint32(kEchoTimedOut));
        QCOMPARE(last.secondary->address, kSecondary);
        QCOMPARE(last.secondary->roundTripMs, 9);
        QVERIFY(!last.byUser);
    }

    void blindCyclesAreNotReported()
    {
        EngineRig rig;
        rig.echo.refuse(kPrimary);
        rig.echo.refuse(kSecondary);
        rig.failingCycles(3);
        QVERIFY(rig.events.events.isEmpty());
    }

    void tickRhythm()
    {
        EngineRig rig;
        rig.echo.script(kPrimary, kEchoSuccess);

        // No period: the schedule is still checked every tick, before the count.
        for (int tick = 0; tick < 5; ++tick)
            rig.engine.OnSecondTick();
        QCOMPARE(rig.tickCountsSeenBySchedule, QList<qint32>({0, 1, 2, 3, 4}));
        QVERIFY(rig.echo.requests.isEmpty());

        // A period the count has already passed runs a cycle on the next tick.
        rig.engine.SetPingPeriod(3);
        rig.engine.OnSecondTick();
        QCOMPARE(rig.echo.requests.size(), 1);
        QCOMPARE(rig.engine.TickCount(), 0);

        // PING NOW keeps the rhythm of the timed cycles.
        rig.engine.OnSecondTick();
        rig.engine.PingCycle();
        QCOMPARE(rig.engine.TickCount(), 1);
        rig.engine.OnSecondTick();
        QCOMPARE(rig.echo.requests.size(), 2);
        rig.engine.OnSecondTick();
        QCOMPARE(rig.echo.requests.size(), 3);
        QCOMPARE(rig.engine.TickCount(), 0);
        QCOMPARE(rig.tickCountsSeenBySchedule.size(), 5 + 1 + 3);
    }

    void failTestLeavesOutageAlone()
    {
        EngineRig rig;
        rig.failingCycles(5);
        const qint64 resendAtMs = rig.engine.ResendAtMs();
        const qsizetype tipsBefore = rig.tray.tips.size();

        rig.clock.advanceMs(5 * 60'000LL);
        rig.fields.setText(Field::FailCommand, QStringLiteral("reload^m"));
        rig.engine.FailTest();
        QCOMPARE(rig.sender.commands.last(), QStringLiteral("reload^m"));
        QCOMPARE(rig.log.entries.size(), 1);
        QCOMPARE(rig.tray.tips.size(), tipsBefore);
        QVERIFY(rig.engine.FailSent());
        QCOMPARE(rig.engine.ResendAtMs(), resendAtMs);
    }

    void countStopsAtMeterMaximum()
    {
        // Retries typed but not yet confirmed: the meter still has the old maximum.
        EngineRig rig;
        rig.fields.setText(Field::FailTries, QStringLiteral("8"));
        rig.failingCycles(10);
        QCOMPARE(rig.engine.FailCount(), 5);
        QCOMPARE(rig.meter.value(), 5);
        QVERIFY(rig.sender.commands.isEmpty());

        rig.fields.setText(Field::FailTries, QStringLiteral("5"));
        rig.engine.PingCycle();
        QCOMPARE(rig.sender.commands.size(), 1);

        // Retries lowered during the outage: the count comes down with the maximum.
        rig.echo.script(kPrimary, kEchoSuccess);
        rig.engine.PingCycle();
        rig.echo.script(kPrimary, kEchoTimedOut);
        rig.failingCycles(4);
        rig.setRetries(2);
        rig.engine.PingCycle();
        QCOMPARE(rig.engine.FailCount(), 2);
        QCOMPARE(rig.sender.commands.size(), 2);
    }

    void retriesBelowOneActOnTheFirstFailure_data()
    {
        QTest::addColumn<QString>("retriesText");
        QTest::addColumn<bool>("acts");

        QTest::addRow("zero") << "0" << true;
        QTest::addRow("negative") << "-2" << true;
        QTest::addRow("letters") << "five" << false;
    }

    void retriesBelowOneActOnTheFirstFailure()
    {
        QFETCH(QString, retriesText);
        QFETCH(bool, acts);

        EngineRig rig;
        rig.fields.setText(Field::FailTries, retriesText);
        // A cycle in which an address answered never acts.
        rig.echo.script(kPrimary, kEchoSuccess);
        rig.engine.PingCycle();
        QVERIFY(rig.log.entries.isEmpty());
        QVERIFY(rig.sender.commands.isEmpty());

        rig.echo.script(kPrimary, kEchoTimedOut);
        rig.engine.PingCycle();
        const QStringList firstFailure =
            acts ? QStringList{QStringLiteral("No response after %1 ping attempts.  Sending fail "
                                              "command.")
                                   .arg(retriesText)}
                 : QStringList();
        QCOMPARE(rig.logMessages(), firstFailure);
        QCOMPARE(rig.sender.commands.size(), acts ? 1 : 0);

        rig.failingCycles(7);
        QCOMPARE(rig.sender.commands.size(), acts ? 1 : 0);
        QCOMPARE(rig.engine.FailSent(), acts);
        QCOMPARE(rig.engine.FailCount(), 5);
    }

    // Fields may hold refused text while the user corrects it; cycles go on meanwhile.
    void refusedFieldsFallBack_data()
    {
        QTest::addColumn<QString>("timeoutText");
        QTest::addColumn<QString>("resendText");
        QTest::addColumn<quint32>("timeoutUsed");
        QTest::addColumn<int>("resendMinutes");

        QTest::addRow("valid") << "1500"
                               << "10" << 1500u << 10;
        QTest::addRow("zero time-out, letters") << "0"
                                                << "soon" << 2000u << 30;
        QTest::addRow("letters, empty") << "fast"
                                        << "" << 2000u << 30;
    }

    void refusedFieldsFallBack()
    {
        QFETCH(QString, timeoutText);
        QFETCH(QString, resendText);
        QFETCH(quint32, timeoutUsed);
        QFETCH(int, resendMinutes);

        EngineRig rig;
        rig.fields.setText(Field::TimeoutPri, timeoutText);
        rig.fields.setText(Field::TimeoutSec, timeoutText);
        rig.fields.setText(Field::FailResend, resendText);
        rig.failingCycles(5);
        QCOMPARE(rig.echo.requests.size(), 10);
        QCOMPARE(rig.echo.requests.at(0).timeoutMs, timeoutUsed);
        QCOMPARE(rig.echo.requests.at(1).timeoutMs, timeoutUsed);
        QCOMPARE(rig.engine.ResendAtMs(), rig.clock.monotonicMs() + resendMinutes * 60'000LL);
    }
};

QTEST_GUILESS_MAIN(TestPingCycle)
#include "tst_ping_cycle.moc"
