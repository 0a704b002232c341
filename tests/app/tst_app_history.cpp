#include "AppRig.h"

// The whole program records the watch's events in the history store it is handed.
class TestAppHistory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cyclesAndOutagesRecordedBesideTheLog()
    {
        AppRig rig;
        rig.start();
        // No address answers the scripted echo: the first cycle starts an outage.
        rig.app.engine().PingCycle();
        rig.window().CloseForSessionEnd();

        QVERIFY(QFile::exists(rig.folder.filePath(QStringLiteral("history.sqlite"))));
        const HistoryRange range =
            rig.app.history().range(0, rig.clock.now().toMSecsSinceEpoch() + 1, 10);
        QCOMPARE(range.cycles, 1);
        QCOMPARE(range.answeredCycles, 0);
        QCOMPARE(range.outages.size(), 1);
        QCOMPARE(range.outages[0].failingCycles, 1);
        // The stop ends it at its one cycle, and says so.
        QCOMPARE(range.outages[0].endMs, range.outages[0].startMs);
        QVERIFY(range.outages[0].endedByStop);
        QVERIFY(rig.boxes.shown.isEmpty());
    }
};

QTEST_MAIN(TestAppHistory)
#include "tst_app_history.moc"
