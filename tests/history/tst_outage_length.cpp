#include "DurationText.h"
#include "FakeTray.h"
#include "HistoryRig.h"
#include "OutageNotifier.h"

#include <QtTest>

// One length for an outage in the ledger and in what the user is told.
class OutageLengthTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Once the fail command has gone the watch waits for answers in a row: the ledger
    // and the notification end the outage alike, at the first of them.
    void lineBackAgrees_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<qint64>("lengthMs");

        QTest::addRow("one answer ends it") << "f f a" << qint64(2000);
        QTest::addRow("answers the watch waits out") << "f f h h a" << qint64(2000);
        QTest::addRow("a failing cycle among them") << "f h f h h a" << qint64(3000);
    }

    void lineBackAgrees()
    {
        QFETCH(QString, script);
        QFETCH(qint64, lengthMs);
        QTemporaryDir folder;
        HistoryRig rig(folder.path());
        FakeTray tray;
        OutageNotifier notifier(tray, rig.clock);
        WatchEventHub events;
        events.listen(rig.recorder);
        events.listen(notifier);

        // f a failing cycle, h an answer that leaves the outage open, a the one that
        // ends it; a second apart.
        events.watchStarted();
        bool inOutage = false;
        for (const QString &step : script.split(u' ')) {
            if (step == u"f" && !std::exchange(inOutage, true))
                events.outageStarted();
            if (step == u"a" && std::exchange(inOutage, false))
                events.outageEnded();
            events.cycleDone(step == u"f" ? FailedCycle(1) : AnsweredCycle(5));
            rig.clock.advanceMs(1000);
        }

        const QList<OutageEntry> ledger = rig.store.range(0, rig.nowMs(), 10).outages;
        QCOMPARE(ledger.size(), 1);
        QCOMPARE(ledger[0].endMs.value_or(0) - ledger[0].startMs, lengthMs);
        QCOMPARE(tray.messages.value(1),
                 QStringLiteral("Line back: 127.0.0.1 answers again after an outage of %1.")
                     .arg(DurationText(lengthMs)));
    }
};

QTEST_GUILESS_MAIN(OutageLengthTest)
#include "tst_outage_length.moc"
