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
