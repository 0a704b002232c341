#include "FakeMessageBoxes.h"
#include "Form1.h"
#include "ModalGuard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QtTest>

#include <memory>

// The main window as it is made: texts, captions, tab order, the meter, the timers
// and the close request.
class TestForm1 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void initialFields_data();
    void initialFields();
    void captions_data();
    void captions();
    void fieldLabelsAreBoldAndRightAligned();
    void tabOrderAndFirstFocus();
    void portItemsKeepTheTextShown();
    void meterRefusesMaximaNotAboveZero();
    void meterValueStaysWithinItsRange();
    void ticksAreDroppedWhileABoxIsOpen();
    void closeRequest_data();
    void closeRequest();
    void sessionEndDuringTheCloseQuestion();

private:
    template <typename Control> Control *control(const QString &name)
    {
        auto *found = m_form->findChild<Control *>(name);
        if (!found)
            qFatal("no control %s", qPrintable(name));
        return found;
    }

    const QString m_logPath = QStringLiteral("/tmp/corvane-test/log.txt");
    FakeMessageBoxes m_boxes;
    std::unique_ptr<ModalGuard> m_guard;
    std::unique_ptr<Form1> m_form;
};

void TestForm1::init()
{
    m_boxes = {};
    m_guard = std::make_unique<ModalGuard>(m_boxes);
    m_form = std::make_unique<Form1>(m_logPath, *m_guard);
}

void TestForm1::cleanup()
{
    m_form.reset();
    m_guard.reset();
}

void TestForm1::initialFields_data()
{
    QTest::addColumn<Field>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("toolTip");

    const QString commandTip =
        "Command string to send to device (Use ^ to generate a control character)";
    QTest::addRow("primary") << Field::AddrPri << "127.0.0.1" << true << "txtAddrPri"
                             << "Primary IP address to ping";
    QTest::addRow("secondary") << Field::AddrSec << "127.0.0.1" << true << "txtAddrSec"
                               << "Secondary IP address to ping";
    QTest::addRow("primary timeout") << Field::TimeoutPri << "2000" << true << "txtTimeoutPri"
                                     << "Wait time for ping response";
    QTest::addRow("secondary timeout") << Field::TimeoutSec << "2000" << true << "txtTimeoutSec"
                                       << "Wait time for ping response";
    QTest::addRow("period") << Field::Period << "60" << true << "txtPeriod"
                            << "Wait time between pings";
    QTest::addRow("fail command") << Field::FailCommand << "^m^m" << true << "txtFailCommand"
                                  << commandTip;
    QTest::addRow("port") << Field::FailPort << "1" << true << "cmbFailPort"
                          << "Comm port of target device";
    QTest::addRow("retries") << Field::FailTries << "5" << true << "txtFailTries"
                             << "Number of ping failures before action taken";
    QTest::addRow("log file") << Field::FailLog << m_logPath << true << "txtFailLog"
                              << "Full pathname of failure log";
    QTest::addRow("resend delay") << Field::FailResend << "30" << true << "txtFailResend"
                                  << "";
    QTest::addRow("primary status") << Field::StatusPri << "" << true << "txtStatusPri"
                                    << "Results of last ping to primary address";
    QTest::addRow("primary trip") << Field::TripPri << "" << true << "txtTripPri"
                                  << "";
    QTest::addRow("secondary status") << Field::StatusSec << "" << true << "txtStatusSec"
                                      << "Results of last ping to secondary address";
    QTest::addRow("secondary trip") << Field::TripSec << "" << true << "txtTripSec"
                                    << "";
    for (int slot = 0; slot < kScheduleSlots; ++slot) {
        QTest::addRow("schedule command %d", slot)
            << SchedCmdField(slot) << "" << true << QStringLiteral("txtSchedCmd%1").arg(slot)
            << commandTip;
        QTest::addRow("schedule time %d", slot) << SchedTimeField(slot) << "12:00:00 AM" << false
                                                << QStringLiteral("txtSchedTime%1").arg(slot) << "";
    }
}

void TestForm1::initialFields()
{
    QFETCH(Field, field);
    QFETCH(QString, text);
    QFETCH(bool, enabled);
    QFETCH(QString, name);
    QFETCH(QString, toolTip);

    QCOMPARE(m_form->text(field), text);
    QCOMPARE(m_form->isEnabled(field), enabled);
    // The interface and the control under its design name are one and the same.
    QWidget *widget = control<QWidget>(name);
    QCOMPARE(widget->toolTip(), toolTip);
    m_form->setText(field, QStringLiteral("changed"));
    if (auto *box = qobject_cast<QLineEdit *>(widget))
        QCOMPARE(box->text(), QStringLiteral("changed"));
    else
        QCOMPARE(qobject_cast<QComboBox *>(widget)->currentText(), QStringLiteral("changed"));
    m_form->setEnabled(field, !enabled);
    QCOMPARE(widget->isEnabled(), !enabled);
}

void TestForm1::captions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");

    QTest::addRow("frame 1") << "Frame1"
                             << "Addresses To Ping";
    QTest::addRow("frame 3") << "Frame3"
                             << "Last Results";
    QTest::addRow("frame 2 keeps its blank") << "Frame2"
                                             << "Failure Action ";
    QTest::addRow("frame 4") << "Frame4"
                             << "Scheduled Actions";
    QTest::addRow("primary") << "Label1"
                             << "Primary:";
    QTest::addRow("secondary timeout") << "Label12"
                                       << "Timeout:";
    QTest::addRow("period unit") << "Label16"
                                 << "seconds";
    QTest::addRow("trip unit") << "Label19"
                               << "ms";
    QTest::addRow("meter") << "Label17"
                           << "Failures:";
    QTest::addRow("action taken") << "Label18"
                                  << "Action Taken ^";
    QTest::addRow("port") << "Label5"
                          << "Comm Port:";
    QTest::addRow("resend") << "Label21"
                            << "Resend Delay:";
    QTest::addRow("resend unit") << "Label22"
                                 << "minutes";
    QTest::addRow("schedule command 3") << "lblSched3"
                                        << "Command String:";
    QTest::addRow("schedule time 0") << "lblSchedTime0"
                                     << "Send At:";
    QTest::addRow("view log") << "Command3"
                              << "VIEW LOG";
    QTest::addRow("ping now") << "Command1"
                              << "PING NOW";
    QTest::addRow("fail test") << "Command2"
                               << "FAIL TEST";
    QTest::addRow("menu") << "mPopupSys"
                          << "&SysTray";
    QTest::addRow("restore") << "mPopRestore"
                             << "&Restore";
    QTest::addRow("view log item") << "mViewLog"
                                   << "&View Log";
    QTest::addRow("exit") << "mPopExit"
                          << "E&xit";
}

void TestForm1::captions()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);

    QObject *found = m_form->findChild<QObject *>(name);
    QVERIFY2(found, qPrintable(name));
    QString shown;
    if (auto *frame = qobject_cast<QGroupBox *>(found))
        shown = frame->title();
    else if (auto *label = qobject_cast<QLabel *>(found))
        shown = label->text();
    else if (auto *button = qobject_cast<QAbstractButton *>(found))
        shown = button->text();
    else if (auto *menu = qobject_cast<QMenu *>(found))
        shown = menu->title();
    else if (auto *action = qobject_cast<QAction *>(found))
        shown = action->text();
    QCOMPARE(shown, caption);
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Corvane"));
    QCOMPARE(m_form->windowIcon().pixmap(32, 32).size(), QSize(32, 32));
}

void TestForm1::fieldLabelsAreBoldAndRightAligned()
{
    for (QLabel *label : m_form->findChildren<QLabel *>()) {
        const bool fieldLabel = label->text().endsWith(u':');
        QVERIFY2(label->font().bold() == fieldLabel, qPrintable(label->objectName()));
        if (fieldLabel)
            QVERIFY2(label->alignment() & Qt::AlignRight, qPrintable(label->objectName()));
    }
    QCOMPARE(control<QLabel>(QStringLiteral("Label1"))->buddy(),
             control<QWidget>(QStringLiteral("txtAddrPri")));
}

void TestForm1::tabOrderAndFirstFocus()
{
    for (int slot = 0; slot < kScheduleSlots; ++slot)
        m_form->setEnabled(SchedTimeField(slot), true);
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QCOMPARE(QApplication::focusWidget(), control<QWidget>(QStringLiteral("txtAddrPri")));

    const QStringList expected = {
        "txtAddrSec",    "txtTimeoutPri", "txtTimeoutSec", "txtPeriod",     "txtFailCommand",
        "cmbFailPort",   "txtFailTries",  "txtFailLog",    "Command1",      "Command2",
        "txtSchedCmd0",  "txtSchedTime0", "txtSchedCmd1",  "txtSchedTime1", "txtSchedCmd2",
        "txtSchedTime2", "txtSchedCmd3",  "txtSchedTime3", "txtFailResend", "Command3",
        "txtAddrPri"};
    QStringList visited;
    for (int step = 0; step < expected.size(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, expected);

    // A disabled time field is passed over.
    m_form->setEnabled(Field::SchedTime0, false);
    control<QWidget>(QStringLiteral("txtSchedCmd0"))->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("txtSchedCmd1"));
}

void TestForm1::portItemsKeepTheTextShown()
{
    m_form->setText(Field::FailPort, QStringLiteral("3"));
    for (const char *item : {"1", "2", "3", "4"})
        m_form->AddPortItem(QString::fromLatin1(item));
    auto *port = control<QComboBox>(QStringLiteral("cmbFailPort"));
    QCOMPARE(port->count(), 4);
    QCOMPARE(port->itemText(0), QStringLiteral("1"));
    QCOMPARE(m_form->text(Field::FailPort), QStringLiteral("3"));
}

void TestForm1::meterRefusesMaximaNotAboveZero()
{
    QCOMPARE(m_form->maximum(), 100);
    QVERIFY(!m_form->setMaximum(0));
    QVERIFY(!m_form->setMaximum(-5));
    QCOMPARE(m_form->maximum(), 100);
    QVERIFY(m_form->setMaximum(8));
    QCOMPARE(m_form->maximum(), 8);
}

void TestForm1::meterValueStaysWithinItsRange()
{
    QCOMPARE(m_form->value(), 0);
    QVERIFY(m_form->setMaximum(5));
    m_form->setValue(4);
    QCOMPARE(m_form->value(), 4);
    // Lowering the maximum below the value brings the value down with it rather
    // than losing it.
    QVERIFY(m_form->setMaximum(3));
    QCOMPARE(m_form->value(), 3);
    m_form->setValue(9);
    QCOMPARE(m_form->value(), 3);
    m_form->setValue(-1);
    QCOMPARE(m_form->value(), 0);
}

void TestForm1::ticksAreDroppedWhileABoxIsOpen()
{
    int ticks = 0;
    int ticksWhileOpen = 0;
    m_form->onTimer1Tick = [&] { ++ticks; };
    m_form->onTimerCommTick = [&] { ++ticks; };
    const QList<QTimer *> timers = m_form->findChildren<QTimer *>();
    QCOMPARE(timers.size(), 2);
    for (QTimer *timer : timers) {
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 1000);
        timer->setInterval(5);
    }
    // The box keeps its caller waiting while events flow, as a real modal box does.
    m_boxes.onShow = [&] {
        const int before = ticks;
        QTest::qWait(100);
        ticksWhileOpen = ticks - before;
    };

    m_guard->show(QStringLiteral("text"), QStringLiteral("title"), BoxStyle::OkExclamation);
    QCOMPARE(ticksWhileOpen, 0);
    QVERIFY(!m_guard->isBoxOpen());
    QTRY_VERIFY(ticks >= 4);
}

void TestForm1::closeRequest_data()
{
    QTest::addColumn<int>("way");
    QTest::addColumn<bool>("goAhead");
    QTest::addColumn<CloseReason>("reason");

    enum Way
    {
        CloseBox,
        ExitItem,
        SessionEnd
    };
    QTest::addRow("close box, no") << int(CloseBox) << false << CloseReason::ByUser;
    QTest::addRow("close box, yes") << int(CloseBox) << true << CloseReason::ByUser;
    QTest::addRow("exit item, no") << int(ExitItem) << false << CloseReason::ByProgram;
    QTest::addRow("exit item, yes") << int(ExitItem) << true << CloseReason::ByProgram;
    QTest::addRow("session end") << int(SessionEnd) << true << CloseReason::SessionEnding;
}

void TestForm1::closeRequest()
{
    QFETCH(int, way);
    QFETCH(bool, goAhead);
    QFETCH(CloseReason, reason);

    QList<CloseReason> asked;
    int unloads = 0;
    m_form->onCloseRequest = [&](CloseReason given) {
        asked << given;
        return goAhead;
    };
    m_form->onUnload = [&] { ++unloads; };
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));

    if (way == 0)
        m_form->close();
    else if (way == 1)
        control<QAction>(QStringLiteral("mPopExit"))->trigger();
    else
        m_form->CloseForSessionEnd();

    QCOMPARE(asked, QList<CloseReason>{reason});
    QCOMPARE(unloads, goAhead ? 1 : 0);
    QCOMPARE(m_form->isVisible(), !goAhead);

    // A window that has unloaded does not ask again.
    m_form->close();
    QCOMPARE(asked.size(), goAhead ? 1 : 2);
}

void TestForm1::sessionEndDuringTheCloseQuestion()
{
    QList<CloseReason> asked;
    int unloads = 0;
    m_form->onCloseRequest = [&](CloseReason reason) {
        asked << reason;
        // While the user still thinks about the question, the session ends.
        if (reason == CloseReason::ByUser)
            m_form->CloseForSessionEnd();
        return reason == CloseReason::SessionEnding;
    };
    m_form->onUnload = [&] { ++unloads; };
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));

    m_form->close();

    const QList<CloseReason> expected = {CloseReason::ByUser, CloseReason::SessionEnding};
    QCOMPARE(asked, expected);
    QCOMPARE(unloads, 1);
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
