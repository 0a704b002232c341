#include "AppRig.h"
#include "FakeHistorySource.h"
#include "QtMessageBoxes.h"

#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>

namespace {

const QString kSecondary = QStringLiteral("127.0.0.2");

QStringList VisibleBoxes()
{
    QStringList boxes;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(window); box && box->isVisible())
            boxes << box->windowTitle() + QStringLiteral(": ") + box->text();
    }
    return boxes;
}

// Whether this process has mapped Qt Charts, which only the History window's module
// brings in.
bool ChartsMapped()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6Charts");
}

} // namespace

// The running program as the user meets it: the buttons, the fields confirmed as
// the focus leaves them, the meter, the tray tip and the router's console.
class TestAppWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(m_rig.emplace().router.isValid()); }
    void cleanup() { m_rig.reset(); }

    void outageSendsTheFailCommandAtTheRetries()
    {
        start(QStringLiteral("3"));
        const QStringList tips{QStringLiteral("Corvane (33.3333333333333%)"),
                               QStringLiteral("Corvane (66.6666666666667%)"),
                               QStringLiteral("Corvane (Fail command sent)")};
        for (int cycle = 1; cycle <= 3; ++cycle) {
            pingNow();
            QCOMPARE(m_rig->echo.requests.size(), 2 * cycle);
            QCOMPARE(m_rig->window().text(Field::StatusSec), EchoStatusText(kEchoTimedOut));
            QCOMPARE(m_rig->window().value(), cycle);
            QCOMPARE(m_rig->tray.tip, tips[cycle - 1]);
            QCOMPARE(m_rig->router.receive(), cycle < 3 ? QByteArray() : QByteArray("\r\r"));
        }
    }

    void failTestOnlySends()
    {
        start();
        m_rig->clickOn(QStringLiteral("Command2"));

        QCOMPARE(m_rig->router.receive(), QByteArray("\r\r"));
        QVERIFY(m_rig->echo.requests.isEmpty());
        // The start line is the log's only entry.
        QCOMPARE(m_rig->logLines().filter(QStringLiteral("[System Message]")).size(), 1);
    }

    // Each kind of field reaches the part that confirms it, and what that part
    // decides reaches the engine and the meter.
    void leavingAFieldConfirmsIt_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<int>("pingPeriod");
        QTest::addColumn<int>("meterMaximum");

        QTest::addRow("period") << "txtPeriod" << QStringLiteral("15") << false << 15 << 5;
        QTest::addRow("time-out 0") << "txtTimeoutPri" << QStringLiteral("0") << true << 60 << 5;
        QTest::addRow("retries 3") << "txtFailTries" << QStringLiteral("3") << false << 60 << 3;
        QTest::addRow("port") << "cmbFailPort" << QStringLiteral("2") << false << 60 << 5;
    }

    void leavingAFieldConfirmsIt()
    {
        QFETCH(QString, name);
        QFETCH(QString, typed);
        QFETCH(bool, refused);
        QFETCH(int, pingPeriod);
        QFETCH(int, meterMaximum);

        start();
        const QString key = name.mid(3); // the stored key is the field's name
        const QString before = m_rig->stored(key);
        m_rig->typeInto(name, typed);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);

        QCOMPARE(m_rig->boxes.shown.size(), refused ? 1 : 0);
        QCOMPARE(m_rig->hasFocus(name), refused);
        QCOMPARE(m_rig->stored(key), refused ? before : typed);
        QCOMPARE(m_rig->app.engine().PingPeriod(), pingPeriod);
        QCOMPARE(m_rig->window().maximum(), meterMaximum);
        // A confirmed port is opened afresh.
        QVERIFY(m_rig->serialPort.isOpen());
    }

    void refusedTimeEntryEmptiesTheField()
    {
        start();
        const QString time = QStringLiteral("txtSchedTime0");
        QVERIFY(!m_rig->control(time)->isEnabled());
        m_rig->typeInto(QStringLiteral("txtSchedCmd0"), QStringLiteral("reload^m"));
        QVERIFY(m_rig->control(time)->isEnabled());

        m_rig->typeInto(time, QStringLiteral("half past"));
        QCOMPARE(m_rig->stored(QStringLiteral("SchedCmd0")), QStringLiteral("reload^m"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(m_rig->boxes.shown.size(), 1);
        QCOMPARE(m_rig->boxes.shown[0].title, QStringLiteral("Time Entry"));
        QVERIFY(m_rig->hasFocus(time));
        QCOMPARE(m_rig->window().text(SchedTimeField(0)), QString());
    }

    // With the desktop's own boxes: the port's warning at start-up is left open, as
    // on a desk nobody sits at. The watch goes on under it, and a failure that
    // comes back every send is not stacked.
    void warningLeftOpenDoesNotStopTheWatch()
    {
        QTemporaryDir devices;
        QtMessageBoxes desktopBoxes;
        AppRig rig(devices.filePath(QStringLiteral("missing/ttyS0")), &desktopBoxes);
        desktopBoxes.setWindow(&rig.window());
        for (QTimer *timer : rig.window().findChildren<QTimer *>())
            timer->setInterval(10);

        rig.start({{QStringLiteral("AddrSec"), kSecondary},
                   {QStringLiteral("Period"), QStringLiteral("1")},
                   {QStringLiteral("FailTries"), QStringLiteral("2")},
                   {QStringLiteral("SchedCmd0"), QStringLiteral("reload^m")},
                   {QStringLiteral("SchedTime0"), QStringLiteral("12:00:00 PM")}});
        const QStringList atStart = VisibleBoxes();
        QVERIFY(!atStart.isEmpty());
        QCOMPARE(atStart.filter(QStringLiteral("Comm Port Error: ")), atStart);
        QCOMPARE(rig.logCount(kStartedLine), 1);

        QTRY_VERIFY(rig.logLines().contains(
            QStringLiteral("No response after 2 ping attempts.  Sending fail command.")));
        QTRY_VERIFY(
            rig.logLines().filter(QStringLiteral("Sending scheduled command: reload^m")).size() ==
            1);
        const int requests = int(rig.echo.requests.size());
        QTRY_VERIFY(rig.echo.requests.size() > requests + 4);

        QStringList open = VisibleBoxes();
        for (const QString &box : atStart)
            QVERIFY(open.contains(box));
        open.removeDuplicates();
        QCOMPARE(open.size(), VisibleBoxes().size());
    }

    // The log named for one run: the field shows it and cannot be edited, a
    // confirmation stores nothing, and the entries go there.
    void logOfTheRunIsShownButNeverStored()
    {
        const QString runLog = m_rig->folder.filePath(QStringLiteral("run.txt"));
        m_rig->settings.logOverride = runLog;
        m_rig->start({{QStringLiteral("FailLog"), m_rig->logPath()}});

        QCOMPARE(m_rig->window().text(Field::FailLog), runLog);
        QVERIFY(!m_rig->control(QStringLiteral("txtFailLog"))->isEnabled());
        bool refuse = false;
        m_rig->window().onValidate(Field::FailLog, refuse);
        QVERIFY(!refuse);
        QCOMPARE(m_rig->stored(QStringLiteral("FailLog")), m_rig->logPath());
        QCOMPARE(AppRig::logLines(runLog).count(kStartedLine), 1);
        QVERIFY(!QFile::exists(m_rig->logPath()));
    }

    // The History window is offered right after "&View Log", made on first use, and
    // told of cycles from then on.
    void historyItemFollowsViewLog()
    {
        const auto captions = [this] {
            QStringList texts;
            for (const QAction *action : m_rig->window().PopupMenu().actions())
                texts << action->text();
            return texts;
        };

        FakeHistorySource history;
        m_rig.reset();
        m_rig.emplace(QString(), nullptr, &history);
        m_rig->app.historyWindow()->setModulePath(QStringLiteral(CORVANE_HISTORY_MODULE));
        QCOMPARE(captions().mid(captions().indexOf(QStringLiteral("&View Log")), 2),
                 (QStringList{QStringLiteral("&View Log"), QStringLiteral("&History")}));
        QCOMPARE(captions().last(), QStringLiteral("E&xit"));
        start();
        pingNow();
        QVERIFY(!m_rig->app.historyWindow()->window());
        QVERIFY(!ChartsMapped());

        auto *item = m_rig->window().findChild<QAction *>(QStringLiteral("mHistory"));
        item->trigger();
        QWidget *window = m_rig->app.historyWindow()->window();
        QVERIFY(window && window->isVisible());
        QVERIFY(ChartsMapped());
        QVERIFY(m_rig->boxes.shown.isEmpty());
        QCOMPARE(history.requests.size(), 1);
        pingNow();
        QTRY_COMPARE(history.requests.size(), 2);
        window->hide();
        item->trigger();
        QCOMPARE(m_rig->app.historyWindow()->window(), window);
        QVERIFY(window->isVisible());
    }

    // Without its module the History item warns, naming the file, and the watch
    // goes on; the next use tries again.
    void missingHistoryModuleWarns()
    {
        const QString missing = m_rig->folder.filePath(QStringLiteral("absent-module.so"));
        m_rig->app.historyWindow()->setModulePath(missing);
        start();
        auto *item = m_rig->window().findChild<QAction *>(QStringLiteral("mHistory"));
        item->trigger();
        QVERIFY(!m_rig->app.historyWindow()->window());
        QCOMPARE(m_rig->boxes.shown.size(), 1);
        QCOMPARE(m_rig->boxes.shown[0].title, QStringLiteral("History"));
        QCOMPARE(m_rig->boxes.shown[0].style, BoxStyle::OkExclamation);
        QVERIFY2(m_rig->boxes.shown[0].text.contains(missing),
                 qPrintable(m_rig->boxes.shown[0].text));
        pingNow();
        QCOMPARE(m_rig->echo.requests.size(), 2);
        item->trigger();
        QCOMPARE(m_rig->boxes.shown.size(), 2);
    }

    void notificationsFollowTheNotifyKey_data()
    {
        QTest::addColumn<QString>("notify");
        QTest::addColumn<int>("messages");
        QTest::addRow("never set") << QString() << 3;
        QTest::addRow("turned off") << QStringLiteral("0") << 0;
    }

    // Down, fail command sent, back; and the metrics file follows each cycle.
    void notificationsFollowTheNotifyKey()
    {
        QFETCH(QString, notify);
        QFETCH(int, messages);

        if (!notify.isEmpty())
            m_rig->storeOption(QStringLiteral("Notify"), notify);
        const QString metrics = m_rig->folder.filePath(QStringLiteral("corvane.prom"));
        m_rig->storeOption(QStringLiteral("MetricsFile"), metrics);
        start(QStringLiteral("1"));
        pingNow();
        QVERIFY(QFile::exists(metrics));
        m_rig->echo.script(m_rig->window().text(Field::AddrPri), kEchoSuccess, 12);
        pingNow();
        QCOMPARE(m_rig->tray.messages.size(), messages);

        QFile file(metrics);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray written = file.readAll();
        QVERIFY(written.contains("\ncorvane_up{watch=\"corvane\"} 1\n"));
        QVERIFY(written.contains("\ncorvane_fail_commands_total{watch=\"corvane\"} 1\n"));
    }

private:
    // From a stored record with two distinct addresses, back from the tray.
    void start(const QString &retries = QStringLiteral("5"))
    {
        m_rig->start(
            {{QStringLiteral("AddrSec"), kSecondary}, {QStringLiteral("FailTries"), retries}});
        QVERIFY(m_rig->boxes.shown.isEmpty());
        QVERIFY(m_rig->showWindow());
    }

    void pingNow() { m_rig->clickOn(QStringLiteral("Command1")); }

    std::optional<AppRig> m_rig;
};

QTEST_MAIN(TestAppWindow)
#include "tst_app_window.moc"
