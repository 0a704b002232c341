#include "AppRig.h"

namespace {

const QString kWokeLine = QStringLiteral("The system woke up after 2 h 00 min.");

} // namespace

// What main() hands the whole program: the settings of the run, given at Start, and
// the services made for it.
class TestAppRun : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Without a display nobody confirms the port field, so a closed port is opened
    // again before a send even where the option to reopen it by itself is off.
    void headlessReopensThePortAtASend_data()
    {
        QTest::addColumn<bool>("headless");
        QTest::addColumn<QString>("notSent");
        QTest::addRow("headless")
            << true << "Cannot open port 1 (/nonexistent/ttyCorvane): No such file or directory.";
        QTest::addRow("at a desktop") << false << "port 1 (/nonexistent/ttyCorvane) is not open.";
    }
    void headlessReopensThePortAtASend()
    {
        QFETCH(bool, headless);
        QFETCH(QString, notSent);
        AppRig rig(QStringLiteral("/nonexistent/ttyCorvane"));
        rig.settings.headless = headless;
        rig.storeOption(QStringLiteral("ReopenPort"), QStringLiteral("0"));
        rig.start();
        rig.app.engine().FailTest();
        QCOMPARE(rig.logCount(QStringLiteral("Command not sent completely: ") + notSent), 1);
    }

    // The stored values are in the fields when start-up tells of them, before the start
    // line; every entry of the log's own goes to the mirror too, up to the stop line.
    void startUpTellsOfTheFieldsAndMirrorsTheLog()
    {
        AppRig rig;
        QString periodLoaded;
        qsizetype startLinesThen = -1;
        QStringList mirrored;
        rig.settings.onFieldsLoaded = [&](const WindowFields &fields) {
            periodLoaded = fields.text(Field::Period);
            startLinesThen = rig.logCount(kStartedLine);
        };
        rig.settings.mirrorLogEntries = [&](const QString &entry) { mirrored << entry; };
        rig.start({{QStringLiteral("Period"), QStringLiteral("42")}});
        rig.window().CloseForSessionEnd();

        QCOMPARE(periodLoaded, QStringLiteral("42"));
        QCOMPARE(startLinesThen, 0);
        QCOMPARE(mirrored, (QStringList{kStartedLine, kStoppedLine}));
    }

    // The sleep signal handed in tells of a resume before the clocks do, and the clocks
    // then tell it no second time; without its word the next tick is the first to know.
    void sleepSignalTellsOfAResume_data()
    {
        QTest::addColumn<bool>("told");
        QTest::addColumn<int>("beforeTheTick");
        QTest::addRow("told by the signal") << true << 1;
        QTest::addRow("the clocks alone") << false << 0;
    }
    void sleepSignalTellsOfAResume()
    {
        QFETCH(bool, told);
        QFETCH(int, beforeTheTick);
        AppRig rig;
        rig.storeOption(QStringLiteral("ResumeGraceSeconds"), QStringLiteral("60"));
        rig.start();
        if (told)
            rig.sleepSignal.sleep();
        rig.clock.sleepMs(2 * kHourMs);
        if (told)
            rig.sleepSignal.wake();
        QCOMPARE(rig.logCount(kWokeLine), beforeTheTick);
        rig.window().onReceiveTick();
        QCOMPARE(rig.logCount(kWokeLine), 1);
    }

    // The event programs made for the program run with the options start-up loaded, at
    // the watch's events, and their entries go into the program's log.
    void eventProgramsRunAtTheWatchsEvents()
    {
        AppRig rig;
        const QString script = rig.folder.filePath(QStringLiteral("outage.sh"));
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write("#!/bin/sh\necho outage seen\n") > 0);
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        rig.storeOption(QStringLiteral("OnOutage"), script);
        rig.start();
        QVERIFY(rig.eventPrograms);
        rig.eventPrograms->setSettingsFile(rig.settingsStore.filePath(SettingsAppName));

        // No address answers the scripted echo: the first cycle starts an outage.
        rig.app.engine().PingCycle();
        QTRY_VERIFY(!rig.logLines().filter(QStringLiteral("outage seen")).isEmpty());
    }
};

QTEST_MAIN(TestAppRun)
#include "tst_app_run.moc"
