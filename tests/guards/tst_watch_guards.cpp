#include "ActionRig.h"
#include "RecordingWatchEvents.h"

// The guards against false alarms, over whole outages on the fake clock, through the
// real engine and the real link.
class TestWatchGuards : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // One cycle with the echoes each address gets in turn (0: answered); after the
    // list, an address does not answer.
    void echoesPerAddress_data()
    {
        QTest::addColumn<int>("echoesPerAddress");
        QTest::addColumn<QList<quint32>>("primary");
        QTest::addColumn<QList<quint32>>("secondary");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<int>("echoes");
        QTest::addColumn<QString>("statusPri");

        const quint32 lost = kEchoTimedOut;
        const QString timedOut = QStringLiteral("11010   [ ip req timed out ]");
        QTest::addRow("2 of 3 lost to the primary")
            << 3 << QList<quint32>{lost, lost, 0} << QList<quint32>{} << true << 3
            << QStringLiteral("0   [ ip success ]");
        QTest::addRow("3 lost to the primary, the secondary's second answers")
            << 3 << QList<quint32>{lost, lost, lost} << QList<quint32>{lost, 0} << true << 5
            << timedOut;
        QTest::addRow("all lost, the last failure shows")
            << 3 << QList<quint32>{lost, lost, 11003} << QList<quint32>{} << false << 6
            << QStringLiteral("11003   [ ip dest host unreachable ]");
        QTest::addRow("one echo by default")
            << 1 << QList<quint32>{lost, 0} << QList<quint32>{lost, 0} << false << 2 << timedOut;
    }
    void echoesPerAddress()
    {
        QFETCH(int, echoesPerAddress);
        QFETCH(QList<quint32>, primary);
        QFETCH(QList<quint32>, secondary);
        QFETCH(bool, answered);
        QFETCH(int, echoes);
        QFETCH(QString, statusPri);
        ActionRig rig;
        QVERIFY(rig.opened());
        RecordingWatchEvents recorded;
        rig.events.listen(recorded);
        rig.safety.options().echoesPerAddress = echoesPerAddress;
        rig.echo.queue(QStringLiteral("127.0.0.1"), primary);
        rig.echo.queue(QStringLiteral("127.0.0.2"), secondary);

        rig.engine.PingCycle(PingEngine::CycleCause::Timer);

        QCOMPARE(recorded.cycles.size(), 1);
        QCOMPARE(recorded.cycles[0].answered, answered);
        QCOMPARE(recorded.cycles[0].echoes, echoes);
        QCOMPARE(rig.echo.requests.size(), echoes);
        QCOMPARE(rig.fields.text(Field::StatusPri), statusPri);
        QCOMPARE(rig.engine.FailCount(), answered ? 0 : 1);
    }

    // A cycle at each whole minute for 40 minutes, failing but at the minutes given.
    void recoveryNeedsAnswersInARow_data()
    {
        QTest::addColumn<int>("recoverCycles");
        QTest::addColumn<QList<int>>("answeredMinutes");
        QTest::addColumn<QList<qint64>>("sendMinutes");
        QTest::addColumn<int>("outages");
        QTest::addColumn<int>("retries");

        QTest::addRow("one answer in the middle, 3 needed")
            << 3 << QList<int>{5} << QList<qint64>{0, 31} << 1 << 1;
        QTest::addRow("two answers twice, 3 needed")
            << 3 << QList<int>{5, 6, 20, 21} << QList<qint64>{0, 31} << 1 << 1;
        QTest::addRow("three answers in a row end it")
            << 3 << QList<int>{5, 6, 7} << QList<qint64>{0, 8, 39} << 2 << 1;
        QTest::addRow("one answer ends it by default")
            << 1 << QList<int>{5} << QList<qint64>{0, 6, 37} << 2 << 1;
        // Before the fail command has gone, one answer ends the count as it always did:
        // fail, answer, fail, fail is two failures in a row, not three.
        QTest::addRow("an answer before the first send, 3 retries")
            << 3 << QList<int>{1} << QList<qint64>{4, 35} << 2 << 3;
        QTest::addRow("answers after the first send, 3 retries")
            << 3 << QList<int>{3} << QList<qint64>{2, 33} << 1 << 3;
    }
    void recoveryNeedsAnswersInARow()
    {
        QFETCH(int, recoverCycles);
        QFETCH(QList<int>, answeredMinutes);
        QFETCH(QList<qint64>, sendMinutes);
        QFETCH(int, outages);
        QFETCH(int, retries);
        ActionRig rig;
        QVERIFY(rig.opened());
        RecordingWatchEvents recorded;
        rig.events.listen(recorded);
        rig.safety.options().recoverCycles = recoverCycles;
        rig.fields.setText(Field::FailTries, QString::number(retries));
        rig.meter.setMaximum(retries);

        for (int minute = 0; minute < 40; ++minute) {
            rig.minute(answeredMinutes.contains(minute));
            // The first answer keeps the meter full while the outage holds.
            if (minute == 5 && retries == 1)
                QCOMPARE(rig.meter.value(), recoverCycles > 1 ? 1 : 0);
        }

        QCOMPARE(rig.sendMinutes(), sendMinutes);
        QCOMPARE(recorded.events.count(QStringLiteral("outage started")), outages);
        QCOMPARE(recorded.events.count(QStringLiteral("outage ended")), outages - 1);
    }

    // The line answers, the machine sleeps two hours, and from then on a failing cycle
    // comes every 10 seconds.
    void graceAfterWakingUp_data()
    {
        QTest::addColumn<bool>("toldByLogind");
        QTest::addColumn<int>("graceSeconds");
        QTest::addColumn<QString>("heldUntil");
        QTest::addColumn<int>("sendSecond");

        QTest::addRow("the clocks tell") << false << 60 << "14:01:06" << 70;
        QTest::addRow("logind tells first") << true << 60 << "14:01:05" << 60;
        QTest::addRow("no grace: the first failing cycle sends") << false << 0 << "" << 10;
    }
    void graceAfterWakingUp()
    {
        QFETCH(bool, toldByLogind);
        QFETCH(int, graceSeconds);
        QFETCH(QString, heldUntil);
        QFETCH(int, sendSecond);
        ActionRig rig;
        QVERIFY(rig.opened());
        rig.safety.options().resumeGraceSeconds = graceSeconds;
        rig.cycle(true);
        for (int second = 0; second < 5; ++second)
            rig.tick();

        if (toldByLogind)
            rig.safety.PrepareForSleep(true);
        rig.clock.sleepMs(2LL * 3'600'000);
        const qint64 wokeMs = rig.clock.monotonicMs();
        if (toldByLogind)
            rig.safety.PrepareForSleep(false);
        for (int second = 1; second <= 90; ++second) {
            rig.tick();
            if (second % 10 == 0)
                rig.cycle();
        }

        QCOMPARE(rig.sends.ms.size(), 1);
        QCOMPARE((rig.sends.ms[0] - wokeMs) / 1000, sendSecond);
        const QStringList messages = rig.logMessages();
        const bool grace = graceSeconds > 0;
        QCOMPARE(messages.count(QStringLiteral("The system woke up after 2 h 00 min.")),
                 grace ? 1 : 0);
        if (!grace)
            return;
        QVERIFY(messages.contains(
            QStringLiteral("Fail command not sent: the grace after waking up lasts until %1.")
                .arg(heldUntil)));
        const qsizetype sent = messages.indexOf(
            QStringLiteral("No response after 1 ping attempts.  Sending fail command."));
        QCOMPARE(messages.at(sent - 1),
                 QStringLiteral("Grace after waking up over; the outage continues."));
    }
};

QTEST_GUILESS_MAIN(TestWatchGuards)
#include "tst_watch_guards.moc"
