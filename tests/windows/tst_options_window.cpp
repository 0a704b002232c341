#include "OptionTable.h"
#include "OptionsWindowUser.h"
#include "XdgAutostart.h"

#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>

#include <sys/stat.h>
#include <sys/sysmacros.h>

// The options as the user meets them in the running program: the Options window's
// fields, "Test pattern", the pause in the menus and the tip, and what is stored.
class TestOptionsWindow : public OptionsWindowUser
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(m_rig.emplace().router.isValid()); }
    void cleanup() { resetRig(); }

    // A refused entry keeps the focus with a message and is neither stored nor taken;
    // the click that tried to leave does nothing.
    void refusesWhatItsCheckRefuses_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");

        // Each message starts with the field's name, as its label gives it.
        QTest::addRow("pattern that does not compile")
            << "AckPattern"
            << "reset (done"
            << "Acknowledgement pattern: The pattern is not a valid regular expression: missing "
               "closing parenthesis (at character 12).";
        QTest::addRow("back-off above 10")
            << "ResendBackoff"
            << "11"
            << "Resend back-off: A factor from 1 to 10 is required, such as 2 or 1.5.";
        QTest::addRow("grace below 0")
            << "GraceSeconds"
            << "-1"
            << "Start grace: A whole number of seconds from 0 to 86400 is required.";
        // On another page: leaving it for the test's page is what confirms it.
        QTest::addRow("program with a list of commands")
            << "OnOutage"
            << "reboot; rm"
            << "When an outage starts: No shell runs the program, so ; means nothing here; quote "
               "it, or name a script that does what the shell would.";
        QTest::addRow("program time limit above an hour")
            << "EventTimeoutSeconds"
            << "3601"
            << "Time limit per program: A whole number of seconds from 1 to 3600 is required.";
    }
    void refusesWhatItsCheckRefuses()
    {
        QFETCH(QString, name);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        openOptions();

        typeInto(name, typed);
        clickOn(QStringLiteral("TestPattern"));

        QCOMPARE(m_rig->boxes.shown.size(), 1);
        QCOMPARE(m_rig->boxes.shown[0].text, message);
        QCOMPARE(m_rig->boxes.shown[0].title, QStringLiteral("Options"));
        QCOMPARE(QApplication::focusWidget(), control(name));
        QCOMPARE(stored(name), QStringLiteral("(missing)"));
        QVERIFY(result().isEmpty());
    }

    // A confirmed value is stored as typed and acts at once: a grace of a minute holds
    // back the fail command of a failing cycle.
    void storesAndTakesAConfirmedValue()
    {
        openOptions();
        typeInto(QStringLiteral("GraceSeconds"), QStringLiteral("60"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        clickOn(QStringLiteral("ReopenPort"));

        QVERIFY(m_rig->boxes.shown.isEmpty());
        QCOMPARE(stored(QStringLiteral("GraceSeconds")), QStringLiteral("60"));
        QCOMPARE(stored(QStringLiteral("ReopenPort")), QStringLiteral("0"));
        m_rig->app.engine().PingCycle();
        QCOMPARE(m_rig->router.receive(), QByteArray());
        QCOMPARE(m_rig->logCount(QStringLiteral(
                     "Fail command not sent: the start grace lasts until 12:01:00.")),
                 1);
    }

    // A value typed on another page is stored as the page is left, and is the option from
    // then on: the window opened again shows it. The programs' fields share one table
    // row each with their keys, so one of them stands for all five.
    void storesTypedValuesOfEveryPage_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typed");
        QTest::addRow("program at an outage") << "OnOutage"
                                              << "logger -t corvane-event 'line down'";
        QTest::addRow("program time limit") << "EventTimeoutSeconds"
                                            << "90";
    }
    void storesTypedValuesOfEveryPage()
    {
        QFETCH(QString, name);
        QFETCH(QString, typed);
        openOptions();

        typeInto(name, typed);
        clickOn(QStringLiteral("GraceSeconds"));

        QVERIFY(m_rig->boxes.shown.isEmpty());
        QCOMPARE(QApplication::focusWidget(), control(QStringLiteral("GraceSeconds")));
        QCOMPARE(stored(name), typed);
        m_window->close();
        openOptions();
        QCOMPARE(m_window->findChild<QLineEdit *>(name)->text(), typed);
    }

    // Every key of the section can be set in the window.
    void everyOptionHasAControl()
    {
        openOptions();
        for (const OptionRow &row : OptionRows())
            QVERIFY2(control(OptionKeyName(row.key)), row.name);
    }

    // Stored options are read at start-up; one that its check refuses is reported and
    // its default kept.
    void readsStoredOptionsAtStart()
    {
        for (const auto &[key, value] :
             {std::pair{"GraceSeconds", "600"}, std::pair{"ResendBackoff", "0.5"}})
            m_rig->settingsStore.write(SettingsAppName, OptionsSection, QString::fromLatin1(key),
                                       QString::fromLatin1(value));
        start();

        QCOMPARE(m_rig->boxes.shown.size(), 1);
        QCOMPARE(m_rig->boxes.shown[0].title, QStringLiteral("Settings"));
        QVERIFY(m_rig->boxes.shown[0].text.endsWith(
            QStringLiteral("\r\nResendBackoff=0.5: A factor from 1 to 10 is required, such as 2 "
                           "or 1.5. Corvane uses 1.")));
        m_rig->app.engine().PingCycle();
        QCOMPARE(m_rig->router.receive(), QByteArray());
        QCOMPARE(m_rig->logCount(QStringLiteral(
                     "Fail command not sent: the start grace lasts until 12:10:00.")),
                 1);
    }

    // A metrics file is replaced whole by a rename, which must never land on what is
    // not ours: refused at start-up, told once, and no metrics are written at all.
    void metricsFileThatIsNotOursIsRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addRow("relative path") << "relative";
        QTest::addRow("FIFO") << "fifo";
        QTest::addRow("link to a folder") << "folder";
        QTest::addRow("link to a device") << "device";
    }
    void metricsFileThatIsNotOursIsRefused()
    {
        QFETCH(QString, kind);
        const QString target = m_rig->folder.filePath(QStringLiteral("target.prom"));
        const QByteArray native = QFile::encodeName(target);
        QString named = m_rig->folder.filePath(QStringLiteral("link.prom"));
        if (kind == u"relative") {
            named = QStringLiteral("corvane-test-relative.prom");
        } else if (kind == u"fifo") {
            named = target;
            QCOMPARE(::mkfifo(native.constData(), 0600), 0);
        } else if (kind == u"folder") {
            QVERIFY(QDir().mkdir(target) && QFile::link(target, named));
        } else if (::mknod(native.constData(), S_IFCHR | 0600, makedev(1, 3)) != 0 ||
                   !QFile::link(target, named)) {
            QSKIP("making a device node needs root");
        }
        m_rig->storeOption(QStringLiteral("MetricsFile"), named);
        start();
        m_rig->app.engine().PingCycle();

        const QString refusal =
            kind == u"relative"
                ? QStringLiteral("An absolute path is required, such as "
                                 "/var/lib/prometheus/node-exporter/corvane.prom.")
                : QStringLiteral("A regular file is required; %1 is a folder, a device or a FIFO.")
                      .arg(named);
        const QString line = QStringLiteral("MetricsFile=%1: %2 Corvane writes no metrics file.")
                                 .arg(named, refusal);
        QCOMPARE(m_rig->boxes.shown.size(), 1);
        QVERIFY2(m_rig->boxes.shown[0].text.endsWith(QStringLiteral("\r\n") + line),
                 qPrintable(m_rig->boxes.shown[0].text));
        QCOMPARE(m_rig->logCount(line), 1);
        QVERIFY(kind == u"relative" ? !QFile::exists(named) : !QFileInfo(target).isFile());
    }

    void testPatternShowsTheMatchesInTheConsoleTail_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("shown");

        QTest::addRow("two lines match")
            << "reset (done|ok)"
            << "Matches in the last 2048 bytes received:\nreset done at 12:00\nreset ok";
        QTest::addRow("no match") << "rebooting"
                                  << "No match in the last 2048 bytes received.";
        QTest::addRow("does not compile")
            << "reset ("
            << "The pattern is not a valid regular expression: missing closing "
               "parenthesis (at character 8).";
    }
    void testPatternShowsTheMatchesInTheConsoleTail()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, shown);
        start();
        // Only the last 2 KB count: the first match scrolled out long ago.
        const QByteArray console = "reset ok, long ago\r\n" + QByteArray(3000, 'x') +
                                   "\r\nreset done at 12:00\r\nRouter>reset ok\r\nRouter>";
        for (qsizetype at = 0; at < console.size(); at += 1000) {
            QVERIFY(SendAndWait(m_rig->router, m_rig->serialPort, console.mid(at, 1000)));
            m_rig->window().onReceiveTick();
        }
        openOptions();

        typeInto(QStringLiteral("AckPattern"), pattern);
        m_window->findChild<QPushButton *>(QStringLiteral("TestPattern"))->click();

        QCOMPARE(result().replace(QStringLiteral("Router>"), QString()), shown);
    }

    // POWER TEST switches the relay on a port of its own: off, the hold counted on the
    // watch's tick, then on; a click while it runs starts nothing more.
    void powerTestCyclesTheRelay()
    {
        for (const auto &[key, value] :
             {std::pair{"PowerPort", "2"}, std::pair{"PowerOff", "^A"}, std::pair{"PowerOn", "^B"},
              std::pair{"PowerHoldSeconds", "2"}})
            m_rig->settingsStore.write(SettingsAppName, OptionsSection, QString::fromLatin1(key),
                                       QString::fromLatin1(value));
        QVERIFY(m_rig->relay.isValid());
        openOptions();
        auto *powerTest = m_window->findChild<QPushButton *>(QStringLiteral("PowerTest"));

        powerTest->click();
        powerTest->click();
        QCOMPARE(m_rig->relay.receive(), QByteArray("\x01"));
        m_rig->clock.advanceMs(1000);
        m_rig->window().onReceiveTick();
        QCOMPARE(m_rig->relay.receive(), QByteArray());
        m_rig->clock.advanceMs(1000);
        m_rig->window().onReceiveTick();
        QCOMPARE(m_rig->relay.receive(), QByteArray("\x02"));
    }

    // The window opens in the middle of the screen the tucked-away main window would
    // come back on, each field with its unit beside it, the test's result labelled.
    void opensCentredWithUnitsAndLabels()
    {
        openOptions();
        const QPoint offCentre = m_window->frameGeometry().center() -
                                 m_rig->window().screen()->availableGeometry().center();
        QVERIFY2(offCentre.manhattanLength() <= 4, qPrintable(QString::number(offCentre.x())));
        for (const auto &[name, unit] :
             {std::pair{"GraceSeconds", "seconds"}, std::pair{"MaxSendsPerOutage", "sends"},
              std::pair{"MaxResendMinutes", "minutes"}}) {
            auto *label = m_window->findChild<QLabel *>(QString::fromLatin1(name) + "Unit");
            QVERIFY(label && label->isVisible());
            QCOMPARE(label->text(), QString::fromLatin1(unit));
        }
        bool resultLabelled = false;
        for (QLabel *label : m_window->findChildren<QLabel *>())
            resultLabelled |= label->buddy() == m_window->findChild<QWidget *>("PatternResult");
        QVERIFY(resultLabelled);
    }

    // Each switch is stored under its key as it is clicked, and acts at once: with the
    // badge off, a failing cycle leaves the tray icon as the window's.
    void switchesStoreTheirKeys_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addRow("notifications") << "Notify";
        QTest::addRow("tray badge") << "TrayBadge";
        QTest::addRow("reopen the port") << "ReopenPort";
        QTest::addRow("history") << "History";
    }
    void switchesStoreTheirKeys()
    {
        QFETCH(QString, name);
        openOptions();
        QVERIFY(checkBox(name)->isChecked());

        tick(name);

        QCOMPARE(stored(name), QStringLiteral("0"));
        m_rig->app.engine().PingCycle();
        const bool badged = m_rig->tray.icon.pixmap(32, 32).toImage() !=
                            m_rig->window().windowIcon().pixmap(32, 32).toImage();
        QCOMPARE(badged, name != QStringLiteral("TrayBadge"));
        m_window->close();
        openOptions();
        QVERIFY(!checkBox(name)->isChecked());
    }

    void metricsFileComesFromTheChooser()
    {
        openOptions();
        const QString chosen = m_rig->folder.filePath(QStringLiteral("corvane.prom"));
        // The tab's click runs the events that would answer the chooser before it opens.
        QVERIFY(showPageOf(control(QStringLiteral("ChooseMetricsFile"))));
        QTimer::singleShot(0, m_window, [chosen] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->selectFile(chosen);
            QMetaObject::invokeMethod(dialog, &QDialog::accept);
        });
        clickOn(QStringLiteral("ChooseMetricsFile"));
        QTRY_COMPARE(stored(QStringLiteral("MetricsFile")), chosen);
        QCOMPARE(m_window->findChild<QLineEdit *>("MetricsFile")->text(), chosen);
    }

    // The check box writes the autostart entry and removes it again; an entry that
    // someone else wrote is shown but left alone.
    void loginStartWritesAndRemovesOnlyItsOwnEntry_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<bool>("removed");
        QTest::addRow("none yet") << QByteArray() << true;
        QTest::addRow("someone else's")
            << QByteArray("[Desktop Entry]\nType=Application\nExec=corvane\n") << false;
    }
    void loginStartWritesAndRemovesOnlyItsOwnEntry()
    {
        QFETCH(QByteArray, before);
        QFETCH(bool, removed);
        XdgAutostart loginStart(m_rig->folder.filePath(QStringLiteral("config")),
                                {QStringLiteral("/opt/my corvane/corvane")});
        QFile entry(loginStart.entryPath());
        if (!before.isEmpty()) {
            QVERIFY(QDir().mkpath(QFileInfo(entry).path()));
            QVERIFY(entry.open(QIODevice::WriteOnly) && entry.write(before) == before.size());
            entry.close();
        }
        m_rig->settings.loginStart = &loginStart;
        openOptions();
        QCOMPARE(checkBox(QStringLiteral("LoginStart"))->isChecked(), !before.isEmpty());

        if (before.isEmpty()) {
            tick(QStringLiteral("LoginStart"));
            QVERIFY(entry.open(QIODevice::ReadOnly));
            QVERIFY(entry.readAll().contains("\nExec=\"/opt/my corvane/corvane\"\n"));
            entry.close();
        }
        tick(QStringLiteral("LoginStart"));

        QCOMPARE(entry.exists(), !removed);
        QCOMPARE(checkBox(QStringLiteral("LoginStart"))->isChecked(), !removed);
        QCOMPARE(m_rig->boxes.shown.size(), removed ? 0 : 1);
    }

    // The menus offer only the item that applies; the tip tells of the pause.
    void pauseAndResumeFromTheMenu()
    {
        start();
        QAction *pause = item(QStringLiteral("mPauseActions"));
        QAction *resume = item(QStringLiteral("mResumeActions"));
        QCOMPARE(pause->text(), QStringLiteral("Pause actions for 1 hour"));
        QCOMPARE(resume->text(), QStringLiteral("Resume actions"));
        QVERIFY(m_rig->window().PopupMenu().actions().contains(pause));
        QVERIFY(pause->isVisible() && !resume->isVisible());

        pause->trigger();
        QCOMPARE(m_rig->tray.tip, QStringLiteral("Corvane (paused until 13:00)"));
        QVERIFY(!pause->isVisible() && resume->isVisible());
        m_rig->app.engine().PingCycle();
        QCOMPARE(m_rig->router.receive(), QByteArray());
        QCOMPARE(m_rig->tray.tip, QStringLiteral("Corvane (paused until 13:00)"));

        resume->trigger();
        QCOMPARE(m_rig->tray.tip, QStringLiteral("Corvane (100%)"));
        QVERIFY(pause->isVisible() && !resume->isVisible());
        m_rig->app.engine().PingCycle();
        QCOMPARE(m_rig->router.receive(), QByteArray("\r\r"));
        QCOMPARE(m_rig->logCount(QStringLiteral("Actions paused until 13:00.")), 1);
        QCOMPARE(m_rig->logCount(QStringLiteral("Actions resumed.")), 1);
    }
};

QTEST_MAIN(TestOptionsWindow)
#include "tst_options_window.moc"
