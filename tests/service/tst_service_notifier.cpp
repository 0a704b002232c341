#include "FakeClock.h"
#include "ServiceNotifier.h"

#include <QtTest>

class TestServiceNotifier : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Time-outs that hold a cycle past the watchdog grow it once, before the ping; the
    // unit's time is never cut.
    void watchdogCoversTheLongestCycle_data()
    {
        QTest::addColumn<qint64>("longestCycleMs");
        QTest::addColumn<QByteArrayList>("firstTick");
        QTest::addRow("short time-outs") << qint64(10'000)
                                         << QByteArrayList{"READY=1",
                                                           "STATUS=no cycle yet; 0 "
                                                           "failing cycles; no fail "
                                                           "command yet",
                                                           "WATCHDOG=1"};
        QTest::addRow("long time-outs")
            << qint64(40'000)
            << QByteArrayList{"READY=1",
                              "STATUS=no cycle yet; 0 failing cycles; no fail command yet",
                              "WATCHDOG_USEC=110000000", "WATCHDOG=1"};
    }
    void watchdogCoversTheLongestCycle()
    {
        QFETCH(qint64, longestCycleMs);
        QFETCH(QByteArrayList, firstTick);
        FakeClock clock;
        QByteArrayList sent;
        ServiceNotifier notifier(
            clock, [&sent](const QByteArray &state) { sent << state; }, 60'000'000,
            [longestCycleMs] { return longestCycleMs; });
        notifier.watchTicked();
        QCOMPARE(sent, firstTick);
        sent.clear();
        notifier.watchTicked();
        QCOMPARE(sent, QByteArrayList{"WATCHDOG=1"});
        notifier.watchStopping();
        notifier.watchTicked();
        QCOMPARE(sent.size(), 2);
    }
};

QTEST_APPLESS_MAIN(TestServiceNotifier)
#include "tst_service_notifier.moc"
