#include "AppRig.h"
#include "PortDevice.h"

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
        // A refused retry count runs at the default a first run uses, meter and all.
        QTest::addRow("retries of letters") << "FailTries" << QStringLiteral("abc") << 5 << 60;
        QTest::addRow("retries beyond 16 bits")
            << "FailTries" << QStringLiteral("40000") << 5 << 60;
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
        // The field shows the period the watch runs at.
        QCOMPARE(rig.window().text(Field::Period), QString::number(pingPeriod));
        // Fallbacks are never written back over what the user stored.
        QCOMPARE(rig.stored(key), value);
    }

    void refusedStoredValuesAreReportedOnce_data()
    {
        // Stored as "Key=value" texts.
        QTest::addColumn<QStringList>("record");
        // Reported as "Key=value: refusal" lines, after the introduction.
        QTest::addColumn<QStringList>("reported");

        const QString aboveZero = QStringLiteral(": A numeric entry greater than 0 is required.");
        const QString time = QStringLiteral(": Enter a valid time as hh:mm:ss am[pm]");
        QTest::addRow("retries 40000")
            << QStringList{"FailTries=40000"}
            << QStringList{"FailTries=40000: A numeric entry from 1 to 32767 is required. "
                           "Corvane uses 5."};
        QTest::addRow("period 0") << QStringList{"Period=0"}
                                  << QStringList{"Period=0: A numeric entry is required. "
                                                 "Corvane uses 60."};
        QTest::addRow("time and a word")
            << QStringList{"SchedCmd2=reload^m", "SchedTime2=3:00 PM tomorrow"}
            << QStringList{"SchedTime2=3:00 PM tomorrow" + time +
                           ". Corvane does not send SchedCmd2."};
        QTest::addRow("several, in the order they load")
            << QStringList{"FailResend=0", "TimeoutSec=abc", "TimeoutPri=0", "Period=-3"}
            << QStringList{"Period=-3: A numeric entry is required. Corvane uses 60.",
                           "TimeoutPri=0" + aboveZero + " Corvane uses 2000.",
                           "TimeoutSec=abc" + aboveZero + " Corvane uses 2000.",
                           "FailResend=0" + aboveZero + " Corvane uses 30."};
        // A slot without a command never fires, whatever its time says.
        // What the load does not take is named as what runs in its place.
        QTest::addRow("address of one character")
            << QStringList{"AddrPri=1"}
            << QStringList{"AddrPri=1: A value of fewer than 2 characters is not read. Corvane "
                           "uses 127.0.0.1."};
        QTest::addRow("time of a switched-off slot")
            << QStringList{"SchedTime1=25:00:00"} << QStringList{};
        QTest::addRow("all valid") << QStringList{"FailTries=8", "Period=15", "SchedCmd3=x",
                                                  "SchedTime3=3:15:00 AM", "TimeoutPri=1"}
                                   << QStringList{};
    }

    void refusedStoredValuesAreReportedOnce()
    {
        QFETCH(QStringList, record);
        QFETCH(QStringList, reported);

        AppRig rig;
        // The report goes to the log the stored record names, not the default one.
        const QString storedLog = rig.folder.filePath(QStringLiteral("stored-log.txt"));
        QList<std::pair<QString, QString>> pairs = {{QStringLiteral("FailLog"), storedLog}};
        for (const QString &entry : record)
            pairs.append({entry.section(u'=', 0, 0), entry.section(u'=', 1)});
        rig.start(pairs);

        // What a line says runs instead is what its field holds, for every reader.
        for (int field = 0; field <= int(Field::SchedTime3); ++field) {
            const QString uses =
                QStringLiteral(" Corvane uses %1.").arg(rig.window().text(Field(field)));
            for (const QString &line : reported) {
                if (line.startsWith(FieldKey(Field(field)) + u'=') && line.contains(u" uses "))
                    QVERIFY2(line.endsWith(uses), qPrintable(line));
            }
        }

        const QStringList log = AppRig::logLines(storedLog);
        const qsizetype started = log.indexOf(kStartedLine);
        QVERIFY(started >= 0);
        if (reported.isEmpty()) {
            QVERIFY(rig.boxes.shown.isEmpty());
            QCOMPARE(started, 2);
            return;
        }
        const QStringList lines =
            QStringList{QStringLiteral("Some stored settings are not valid; Corvane runs with its "
                                       "fallbacks for them:")} +
            reported;
        QCOMPARE(rig.boxes.shown.size(), 1);
        QCOMPARE(rig.boxes.shown[0].text, lines.join(QStringLiteral("\r\n")));
        QCOMPARE(rig.boxes.shown[0].title, QStringLiteral("Settings"));
        QCOMPARE(rig.boxes.shown[0].style, BoxStyle::OkExclamation);

        // One stamped entry, its lines as the log's own lines, ahead of the start line.
        const qsizetype first = log.indexOf(lines[0]);
        QVERIFY(first >= 2);
        QVERIFY(log[first - 1].endsWith(QStringLiteral("  [System Message]")));
        QCOMPARE(log.mid(first, lines.size()), lines);
        QVERIFY(first + lines.size() < started);
        QCOMPARE(log.count(lines[0]), 1);
        QVERIFY(!rig.logLines().contains(lines[0]));
    }

    // The way echoes are pinned to reaches the echo at start-up; what this machine lacks
    // of it is reported as a refused value is, and stays in force all the same.
    void pinnedPathAtStartUp_data()
    {
        QTest::addColumn<QString>("interfaceName");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QStringList>("reported");
        const QString uncounted = QStringLiteral(
            "a cycle that no address answers is not counted, and no fail command is sent.");
        QTest::addRow("none") << ""
                              << "" << QStringList{};
        QTest::addRow("interface and address this machine has") << "lo"
                                                                << "127.0.0.1" << QStringList{};
        QTest::addRow("interface it lacks")
            << "cvn-absent0"
            << "127.0.0.1"
            << QStringList{"Interface=cvn-absent0: this machine has no interface of that name "
                           "now. No echo is sent until it can be; until then the watch is "
                           "blind: " +
                           uncounted};
        QTest::addRow("address it lacks")
            << ""
            << "203.0.113.254"
            << QStringList{"SourceAddress=203.0.113.254: this machine has no such address now. "
                           "No echo to an IPv4 address is sent until it can be; until then such "
                           "an address tells nothing: " +
                           uncounted};
    }
    void pinnedPathAtStartUp()
    {
        QFETCH(QString, interfaceName);
        QFETCH(QString, source);
        QFETCH(QStringList, reported);
        AppRig rig;
        rig.storeOption(QStringLiteral("Interface"), interfaceName);
        rig.storeOption(QStringLiteral("SourceAddress"), source);
        rig.start();

        QVERIFY(rig.echo.pinnedTo);
        QCOMPARE(rig.echo.pinnedTo->interfaceName, interfaceName.toUtf8());
        QCOMPARE(rig.echo.pinnedTo->source.has_value(), !source.isEmpty());
        if (reported.isEmpty()) {
            QVERIFY(rig.boxes.shown.isEmpty());
            return;
        }
        const QStringList lines =
            QStringList{QStringLiteral("Echoes cannot leave by the way the options name, and "
                                       "none goes another way:")} +
            reported;
        QCOMPARE(rig.boxes.shown.size(), 1);
        QCOMPARE(rig.boxes.shown[0].text, lines.join(QStringLiteral("\r\n")));
        QCOMPARE(rig.boxes.shown[0].title, QStringLiteral("Settings"));
        const QStringList log = rig.logLines();
        QVERIFY(log.indexOf(reported[0]) >= 0 &&
                log.indexOf(reported[0]) < log.indexOf(kStartedLine));
    }

    void skippedSettingsLinesAreNamedOnce()
    {
        AppRig rig;
        const QString storedLog = rig.folder.filePath(QStringLiteral("stored-log.txt"));
        QFile ini(rig.settingsStore.filePath(SettingsAppName));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[LastValues]\n# lab router\nPeriod=15\nnot a setting\nFailLog=" +
                  storedLog.toUtf8() + "\n");
        ini.close();
        rig.start();

        const QString report = QStringLiteral("The settings file %1 has lines that are not "
                                              "settings, which were skipped: 4.")
                                   .arg(rig.settingsStore.filePath(SettingsAppName));
        const QStringList log = AppRig::logLines(storedLog);
        QCOMPARE(log.count(report), 1);
        QVERIFY(log.indexOf(report) < log.indexOf(kStartedLine));
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

    // The port chosen is the one looked up, never port 1 in its place, which may be
    // another device; one that cannot be used is named in the start-up report.
    void storedPortIsNeverSwapped_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("mapped");
        QTest::addColumn<QString>("reported");

        QTest::addRow("mapped") << "5" << true << "";
        QTest::addRow("unmapped without device")
            << "999" << false
            << "FailPort=999: No device is known for port 999: [Ports] names none, and "
               "/dev/ttyS998 is not there. Corvane opens no other port in its place.";
        QTest::addRow("0") << "0" << false
                           << "FailPort=0: A port number from 1 to 32767 is required. Corvane "
                              "opens no other port in its place.";
    }
    void storedPortIsNeverSwapped()
    {
        QFETCH(QString, port);
        QFETCH(bool, mapped);
        QFETCH(QString, reported);
        AppRig rig;
        if (mapped)
            rig.settingsStore.write(SettingsAppName, PortsSection, port, rig.router.slavePath());
        rig.start({{QStringLiteral("FailPort"), port}});

        QCOMPARE(rig.window().text(Field::FailPort), port);
        QVERIFY(!rig.portsLookedUp.contains(1));
        if (reported.isEmpty()) {
            QCOMPARE(rig.portsLookedUp, QList<int>{port.toInt()});
            QVERIFY(rig.serialPort.isOpen());
            QVERIFY(rig.boxes.shown.isEmpty());
            return;
        }
        QVERIFY(!rig.boxes.shown.isEmpty());
        QVERIFY2(rig.boxes.shown[0].text.endsWith(QStringLiteral("\r\n") + reported),
                 qPrintable(rig.boxes.shown[0].text));
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
        rig.settings.onEnded = [&] { ended = true; };
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
