#include "OutageSpan.h"

#include <QTest>

// The length of an outage as the ledger, the notification and the event programs
// tell it, fed in the watch's order.
class OutageSpanTest : public QObject
{
    Q_OBJECT

    static constexpr qint64 kNowMs = 10000;

private Q_SLOTS:
    void length_data()
    {
        // Steps at monotonic times: s the outage started, f a failing cycle, a an
        // answered one, e the outage ended, x forget(). Read at kNowMs.
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("lasting");
        QTest::addColumn<qint64>("lengthMs");
        QTest::addColumn<qint64>("toLastCycleMs");

        QTest::addRow("lasting, no cycle done yet") << "s1000" << true << qint64(9000) << qint64(0);
        QTest::addRow("lasting through failing cycles")
            << "s1000 f1000 f2000 f3000" << true << qint64(9000) << qint64(2000);
        QTest::addRow("lasting through answers the watch waits out")
            << "s1000 f1000 a2000 a3000" << true << qint64(9000) << qint64(2000);
        // The end is told before the cycle that brought it; that cycle is no part of it.
        QTest::addRow("ended by the first answer")
            << "s1000 f1000 f2000 e3000 a3000" << false << qint64(2000) << qint64(1000);
        QTest::addRow("ended by the third answer in a row")
            << "s1000 f1000 a2000 a3000 e4000 a4000" << false << qint64(1000) << qint64(2000);
        QTest::addRow("ended by the third answer, a failing one between")
            << "s1000 f1000 a2000 f3000 a4000 a5000 e6000 a6000" << false << qint64(3000)
            << qint64(4000);
        QTest::addRow("answers before the start do not end it early")
            << "a500 a800 s1000 f1000 e2000 a2000" << false << qint64(1000) << qint64(0);
        QTest::addRow("ended without a start seen")
            << "a500 e5000 a5000" << false << qint64(0) << qint64(0);
        QTest::addRow("forgotten while lasting")
            << "s1000 f1000 f2000 x" << false << qint64(0) << qint64(0);
        QTest::addRow("forgotten after its end")
            << "s1000 f1000 e2000 a2000 x" << false << qint64(0) << qint64(0);
        QTest::addRow("a second outage after an end not forgotten")
            << "s1000 f1000 e2000 a2000 a3000 s4000 f4000 f5000" << true << qint64(6000)
            << qint64(1000);
        QTest::addRow("a second outage after one forgotten while lasting")
            << "s1000 f1000 a2000 x s4000 f4000 e5000 a5000" << false << qint64(1000) << qint64(0);
    }

    void length()
    {
        QFETCH(QString, script);
        QFETCH(bool, lasting);
        QFETCH(qint64, lengthMs);
        QFETCH(qint64, toLastCycleMs);

        OutageSpan span;
        for (const QString &step : script.split(u' ')) {
            const qint64 atMs = step.mid(1).toLongLong();
            switch (step.front().toLatin1()) {
            case 's':
                span.started(atMs);
                break;
            case 'f':
            case 'a':
                span.cycleDone(step.front() == u'a', atMs);
                break;
            case 'e':
                span.ended(atMs);
                break;
            case 'x':
                span.forget();
                break;
            default:
                QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
            }
        }

        QCOMPARE(span.lasting(), lasting);
        QCOMPARE(span.lengthMs(kNowMs), lengthMs);
        QCOMPARE(span.lengthToLastCycleMs(), toLastCycleMs);
    }
};

QTEST_GUILESS_MAIN(OutageSpanTest)
#include "tst_outage_span.moc"
