#include "AppRig.h"
#include "TimeOfDay.h"

namespace {

const QString kPrimary = QStringLiteral("127.0.0.1");
const QString kSecondary = QStringLiteral("127.0.0.2");

} // namespace

// The running program as the user meets it: the buttons, the fields confirmed as
// the focus leaves them, the meter, the tray tip and the router's console.
class TestAppWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(m_rig.emplace().router.isValid()); }
    void cleanup() { m_rig.reset(); }
    void pingNowShowsWhoAnswered();
    void outageSendsTheFailCommandAtTheRetries();
    void failTestOnlySends();
    void leavingAFieldConfirmsIt_data();
    void leavingAFieldConfirmsIt();
    void refusedTimeEntryEmptiesTheField();
    void ticksAreDroppedWhileABoxIsOpen();

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
    bool secondaryResultsEnabled()
    {
        return m_rig->window().isEnabled(Field::StatusSec) &&
               m_rig->window().isEnabled(Field::TripSec);
    }

    std::optional<AppRig> m_rig;
};

void TestAppWindow::pingNowShowsWhoAnswered()
{
    start();
    m_rig->echo.script(kPrimary, kEchoSuccess, 7);
    pingNow();
    QCOMPARE(m_rig->echo.requests.size(), 1);
    QCOMPARE(m_rig->text(Field::StatusPri), EchoStatusText(kEchoSuccess));
    QCOMPARE(m_rig->text(Field::TripPri), QStringLiteral("7"));
    QCOMPARE(m_rig->text(Field::StatusSec) + m_rig->text(Field::TripSec), QString());
    QVERIFY(!m_rig->window().isEnabled(Field::StatusSec));
    QVERIFY(!m_rig->window().isEnabled(Field::TripSec));

    m_rig->echo.script(kPrimary, kEchoTimedOut);
    m_rig->echo.script(kSecondary, kEchoSuccess, 12);
    pingNow();
    QCOMPARE(m_rig->echo.requests.size(), 3);
    QCOMPARE(m_rig->text(Field::StatusPri), EchoStatusText(kEchoTimedOut));
    QCOMPARE(m_rig->text(Field::TripPri), QString());
    QCOMPARE(m_rig->text(Field::StatusSec), EchoStatusText(kEchoSuccess));
    QCOMPARE(m_rig->text(Field::TripSec), QStringLiteral("12"));
    QVERIFY(secondaryResultsEnabled());
    QCOMPARE(m_rig->window().value(), 0);
    QCOMPARE(m_rig->tray.tip, QStringLiteral("Corvane (0%)"));
}

void TestAppWindow::outageSendsTheFailCommandAtTheRetries()
{
    start(QStringLiteral("3"));
    const QStringList tips{QStringLiteral("Corvane (33.3333333333333%)"),
                           QStringLiteral("Corvane (66.6666666666667%)"),
                           QStringLiteral("Corvane (Fail command sent)")};
    for (int cycle = 1; cycle <= 3; ++cycle) {
        pingNow();
        QCOMPARE(m_rig->window().value(), cycle);
        QCOMPARE(m_rig->tray.tip, tips[cycle - 1]);
        QCOMPARE(m_rig->router.receive(), cycle < 3 ? QByteArray() : QByteArray("\r\r"));
    }
    QVERIFY(secondaryResultsEnabled());
    QCOMPARE(m_rig->logCount(
                 QStringLiteral("No response after 3 ping attempts.  Sending fail command.")),
             1);

    pingNow();
    QCOMPARE(m_rig->logCount(QStringLiteral("No response to pings.")), 1);
    QCOMPARE(m_rig->router.receive(), QByteArray());

    // The outage ends quietly: meter and tip back to nothing.
    m_rig->echo.script(kSecondary, kEchoSuccess, 3);
    pingNow();
    QCOMPARE(m_rig->window().value(), 0);
    QCOMPARE(m_rig->tray.tip, QStringLiteral("Corvane (0%)"));
    QVERIFY(m_rig->boxes.shown.isEmpty());
}

void TestAppWindow::failTestOnlySends()
{
    start();
    m_rig->clickOn(QStringLiteral("Command2"));

    QCOMPARE(m_rig->router.receive(), QByteArray("\r\r"));
    QVERIFY(m_rig->echo.requests.isEmpty());
    QCOMPARE(m_rig->tray.tip, QStringLiteral("Corvane (0%)"));
    // The start line is the log's only entry.
    QCOMPARE(m_rig->logLines().filter(QStringLiteral("[System Message]")).size(), 1);
}

void TestAppWindow::leavingAFieldConfirmsIt_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("refusal"); // the box's text; empty when accepted
    QTest::addColumn<int>("pingPeriod");
    QTest::addColumn<int>("meterMaximum");

    const QString aboveZero = QStringLiteral("A numeric entry greater than 0 is required.");
    QTest::addRow("period") << "txtPeriod"
                            << "15"
                            << "Period"
                            << "" << 15 << 5;
    QTest::addRow("period 0.6") << "txtPeriod"
                                << "0.6"
                                << "Period"
                                << "" << 1 << 5;
    QTest::addRow("period -5") << "txtPeriod"
                               << "-5"
                               << "Period"
                               << "A numeric entry is required." << 60 << 5;
    QTest::addRow("time-out 0") << "txtTimeoutPri"
                                << "0"
                                << "TimeoutPri" << aboveZero << 60 << 5;
    QTest::addRow("retries 3") << "txtFailTries"
                               << "3"
                               << "FailTries"
                               << "" << 60 << 3;
    QTest::addRow("retries of letters") << "txtFailTries"
                                        << "abc"
                                        << "FailTries" << aboveZero << 60 << 5;
    QTest::addRow("port") << "cmbFailPort"
                          << "2"
                          << "FailPort"
                          << "" << 60 << 5;
    QTest::addRow("emptied address") << "txtAddrSec"
                                     << ""
                                     << "AddrSec"
                                     << "" << 60 << 5;
}

void TestAppWindow::leavingAFieldConfirmsIt()
{
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(QString, key);
    QFETCH(QString, refusal);
    QFETCH(int, pingPeriod);
    QFETCH(int, meterMaximum);

    start();
    const QString before = m_rig->stored(key);
    m_rig->typeInto(name, typed);
    QVERIFY(m_rig->hasFocus(name));
    m_rig->pressTab();

    if (refusal.isEmpty()) {
        QVERIFY(m_rig->boxes.shown.isEmpty());
        QVERIFY(!m_rig->hasFocus(name));
        QCOMPARE(m_rig->stored(key), typed);
    } else {
        QCOMPARE(m_rig->boxes.shown.size(), 1);
        QCOMPARE(m_rig->boxes.shown[0].title, QStringLiteral("Timeout Field"));
        QCOMPARE(m_rig->boxes.shown[0].text, refusal);
        QVERIFY(m_rig->hasFocus(name));
        QCOMPARE(m_rig->stored(key), before);
    }
    QCOMPARE(m_rig->app.engine().PingPeriod(), pingPeriod);
    QCOMPARE(m_rig->window().maximum(), meterMaximum);
    // A confirmed port is opened afresh.
    QVERIFY(m_rig->serialPort.isOpen());
}

void TestAppWindow::refusedTimeEntryEmptiesTheField()
{
    start();
    const QString time = QStringLiteral("txtSchedTime0");
    QVERIFY(!m_rig->control(time)->isEnabled());
    m_rig->typeInto(QStringLiteral("txtSchedCmd0"), QStringLiteral("reload^m"));
    QVERIFY(m_rig->control(time)->isEnabled());

    m_rig->typeInto(time, QStringLiteral("7:30"));
    QCOMPARE(m_rig->stored(QStringLiteral("SchedCmd0")), QStringLiteral("reload^m"));
    m_rig->pressTab();
    QCOMPARE(m_rig->text(SchedTimeField(0)), TimeOfDayText(QTime(7, 30)));
    QCOMPARE(m_rig->app.schedule().ScheduleTime(0), QTime(7, 30));

    m_rig->typeInto(time, QStringLiteral("half past"));
    m_rig->pressTab();
    QCOMPARE(m_rig->boxes.shown.size(), 1);
    QCOMPARE(m_rig->boxes.shown[0].title, QStringLiteral("Time Entry"));
    QVERIFY(m_rig->hasFocus(time));
    QCOMPARE(m_rig->text(SchedTimeField(0)), QString());
    QCOMPARE(m_rig->app.schedule().ScheduleTime(0), QTime(0, 0));
}

void TestAppWindow::ticksAreDroppedWhileABoxIsOpen()
{
    start();
    const PingEngine &engine = m_rig->app.engine();
    qint32 ticksWhenOpened = -1;
    qint32 ticksWhenClosed = -1;
    // The user takes a while to answer; the timers keep running meanwhile.
    m_rig->boxes.onShow = [&] {
        ticksWhenOpened = engine.TickCount();
        QTest::qWait(1500);
        ticksWhenClosed = engine.TickCount();
    };
    m_rig->typeInto(QStringLiteral("txtTimeoutSec"), QStringLiteral("0"));
    m_rig->pressTab();

    QCOMPARE(m_rig->boxes.shown.size(), 1);
    QVERIFY(ticksWhenOpened >= 0);
    QCOMPARE(ticksWhenClosed, ticksWhenOpened);
    // Without the box the ticks come again.
    QTRY_VERIFY_WITH_TIMEOUT(engine.TickCount() > ticksWhenClosed, 2500);
}

QTEST_MAIN(TestAppWindow)
#include "tst_app_window.moc"
