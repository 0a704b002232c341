#include "ActionRig.h"
#include "RecordingWatchEvents.h"

// The guards against false alarms, over whole outages on the fake clock, through the
// real engine and the real link.
class TestWatchGuards : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A cycle at each whole minute for 40 minutes, failing but at the minutes given.
    void recoveryNeedsAnswersInARow_data()
    {
        QTest::addColumn<int>("recoverCycles");
        QTest::addColumn<QList<int>>("answeredMinutes");
        QTest::addColumn<QList<qint64>>("sendMinutes");
        QTest::addColumn<int>("outages");

        QTest::addRow("one answer in the middle, 3 needed")
            << 3 << QList<int>{5} << QList<qint64>{0, 31} << 1;
        QTest::addRow("two answers twice, 3 needed")
            << 3 << QList<int>{5, 6, 20, 21} << QList<qint64>{0, 31} << 1;
        QTest::addRow("three answers in a row end it")
            << 3 << QList<int>{5, 6, 7} << QList<qint64>{0, 8, 39} << 2;
        QTest::addRow("one answer ends it by default")
            << 1 << QList<int>{5} << QList<qint64>{0, 6, 37} << 2;
    }
    void recoveryNeedsAnswersInARow()
    {
        QFETCH(int, recoverCycles);
        QFETCH(QList<int>, answeredMinutes);
        QFETCH(QList<qint64>, sendMinutes);
        QFETCH(int, outages);
        ActionRig rig;
        QVERIFY(rig.opened());
        RecordingWatchEvents recorded;
        rig.events.listen(recorded);
        rig.safety.options().recoverCycles = recoverCycles;

        for (int minute = 0; minute < 40; ++minute) {
            rig.minute(answeredMinutes.contains(minute));
            // The first answer keeps the meter full while the outage holds.
            if (minute == 5)
                QCOMPARE(rig.meter.value(), recoverCycles > 1 ? 1 : 0);
        }

        QCOMPARE(rig.sendMinutes(), sendMinutes);
        QCOMPARE(recorded.events.count(QStringLiteral("outage started")), outages);
        QCOMPARE(recorded.events.count(QStringLiteral("outage ended")), outages - 1);
    }
};

QTEST_GUILESS_MAIN(TestWatchGuards)
#include "tst_watch_guards.moc"
