#include "AppRig.h"

#include <QAction>
#include <QComboBox>

Q_DECLARE_METATYPE(BoxAnswer)
Q_DECLARE_METATYPE(CloseReason)

// Start-up, the close request and the one-copy rule of the whole program, through
// the real window, settings file, log file and serial port.
class TestAppLifecycle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstRunShowsTheDesignAndWatches()
    {
        AppRig rig;
        rig.start();

        auto *port = qobject_cast<QComboBox *>(rig.control(QStringLiteral("cmbFailPort")));
        QCOMPARE(port->count(), 4);
        QCOMPARE(port->currentText(), QStringLiteral("1"));
        QVERIFY(rig.serialPort.isOpen());
        QVERIFY(rig.boxes.shown.isEmpty());

        // A fresh install watches at the period it shows, without a confirmation first.
        QCOMPARE(rig.app.engine().PingPeriod(), 60);
        QCOMPARE(rig.window().maximum(), 5);
        const QStringList log = rig.logLines();
        QCOMPARE(log.count(kStartedLine), 1);
        QVERIFY(log.indexOf(kStartedLine) >= 1);
        QVERIFY(log[log.indexOf(kStartedLine) - 1].endsWith(QStringLiteral("  [System Message]")));

        QVERIFY(rig.tray.shown);
        QCOMPARE(rig.tray.tip, QStringLiteral("Corvane (0%)"));
        QVERIFY(rig.window().isMinimized());
        QVERIFY(!rig.window().isVisible());
    }

    void storedValuesLoad_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("meterMaximum");
        QTest::addColumn<int>("pingPeriod");

        QTest::addRow("retries 8") << "FailTries" << QStringLiteral("8") << 8 << 60;
        QTest::addRow("retries of letters") << "FailTries" << QStringLiteral("abc") << 100 << 60;
        QTest::addRow("retries beyond 16 bits")
            << "FailTries" << QStringLiteral("40000") << 100 << 60;
        QTest::addRow("period 15") << "Period" << QStringLiteral("15") << 5 << 15;
        QTest::addRow("period of letters") << "Period" << QStringLiteral("abc") << 5 << 60;
        QTest::addRow("period 0") << "Period" << QStringLiteral("0") << 5 << 60;
    }

    void storedValuesLoad()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(int, meterMaximum);
        QFETCH(int, pingPeriod);

        AppRig rig;
        rig.start({{key, value}});

        QCOMPARE(rig.window().maximum(), meterMaximum);
        QCOMPARE(rig.app.engine().PingPeriod(), pingPeriod);
    }

    void storedScheduleSlotLoads()
    {
        AppRig rig;
        // Slot 1 has a time without its command, and stays switched off.
        rig.start({{QStringLiteral("SchedCmd2"), QStringLiteral("reload^m")},
                   {QStringLiteral("SchedTime2"), QStringLiteral("3:15:00 AM")},
                   {QStringLiteral("SchedTime1"), QStringLiteral("4:00:00 AM")}});

        QCOMPARE(rig.app.schedule().ScheduleTime(2), QTime(3, 15));
        QCOMPARE(rig.app.schedule().ScheduleTime(1), QTime(0, 0));
    }

    void portThatCannotOpenIsReportedOnce()
    {
        AppRig rig(QStringLiteral("/nonexistent/ttyCorvane"));
        rig.start();

        // The box itself is the link's; start-up carries on past it.
        QCOMPARE(rig.boxes.shown.size(), 1);
        QCOMPARE(rig.logCount(kStartedLine), 1);
        QVERIFY(rig.tray.shown);
    }

    void closeRequestAsks_data()
    {
        QTest::addColumn<CloseReason>("reason");
        QTest::addColumn<BoxAnswer>("answer");

        QTest::addRow("close box, No") << CloseReason::ByUser << BoxAnswer::No;
        QTest::addRow("close box, Yes") << CloseReason::ByUser << BoxAnswer::Yes;
        QTest::addRow("tray Exit, No") << CloseReason::ByProgram << BoxAnswer::No;
        QTest::addRow("tray Exit, Yes") << CloseReason::ByProgram << BoxAnswer::Yes;
        // Nobody is there to answer No.
        QTest::addRow("session end") << CloseReason::SessionEnding << BoxAnswer::No;
    }

    void closeRequestAsks()
    {
        QFETCH(CloseReason, reason);
        QFETCH(BoxAnswer, answer);

        AppRig rig;
        bool ended = false;
        rig.app.onEnded = [&] { ended = true; };
        rig.start();
        rig.boxes.answers = {answer};
        if (reason == CloseReason::ByUser) {
            QVERIFY(rig.showWindow());
            rig.window().close();
        } else if (reason == CloseReason::ByProgram) {
            // The menu belongs to the window tucked away in the tray.
            rig.window().findChild<QAction *>(QStringLiteral("mPopExit"))->trigger();
        } else {
            rig.window().CloseForSessionEnd();
        }

        const bool asks = reason != CloseReason::SessionEnding;
        QCOMPARE(rig.boxes.shown.size(), asks ? 1 : 0);
        if (asks) {
            QCOMPARE(rig.boxes.shown[0].text, QStringLiteral("Stop monitoring the router?"));
            QCOMPARE(rig.boxes.shown[0].title, QStringLiteral("Corvane"));
            QCOMPARE(rig.boxes.shown[0].style, BoxStyle::YesNoQuestion);
        }
        const bool stops = !asks || answer == BoxAnswer::Yes;
        QCOMPARE(rig.logCount(kStoppedLine), stops ? 1 : 0);
        QCOMPARE(rig.tray.shown, !stops);
        QCOMPARE(ended, stops);
        if (!stops) {
            QCOMPARE(rig.window().isVisible(), reason == CloseReason::ByUser);
            return;
        }
        // A window that has unloaded neither asks nor stops again.
        rig.window().close();
        QCOMPARE(rig.boxes.shown.size(), asks ? 1 : 0);
        QCOMPARE(rig.logCount(kStoppedLine), 1);
    }

    void secondCopyIsRefused()
    {
        FakeMessageBoxes boxes;
        QVERIFY(!MayRunThisCopy(false, boxes));
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown[0].text,
                 QStringLiteral("Only one instance of this application may be run at a time."));
        QCOMPARE(boxes.shown[0].title, QStringLiteral("Corvane"));
        QCOMPARE(boxes.shown[0].style, BoxStyle::Ok);
    }
};

QTEST_MAIN(TestAppLifecycle)
#include "tst_app_lifecycle.moc"
