#include "MainWindow.h"
#include "QtMessageBoxes.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <memory>

// The main window as it is made: the fields behind the interface, the design texts
// that carry a rule, tab order, the meter, the timers and a close that the session
// end overtakes.
class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_window = std::make_unique<MainWindow>(m_logPath); }
    void cleanup() { m_window.reset(); }

    // The logic knows the controls only as fields; a mix-up here shows one field's
    // value in another's box.
    void fieldsReachTheirNamedControls()
    {
        QList<std::pair<Field, QString>> named = {
            {Field::AddrPri, "txtAddrPri"},       {Field::AddrSec, "txtAddrSec"},
            {Field::TimeoutPri, "txtTimeoutPri"}, {Field::TimeoutSec, "txtTimeoutSec"},
            {Field::Period, "txtPeriod"},         {Field::FailCommand, "txtFailCommand"},
            {Field::FailPort, "cmbFailPort"},     {Field::FailTries, "txtFailTries"},
            {Field::FailLog, "txtFailLog"},       {Field::FailResend, "txtFailResend"},
            {Field::StatusPri, "txtStatusPri"},   {Field::TripPri, "txtTripPri"},
            {Field::StatusSec, "txtStatusSec"},   {Field::TripSec, "txtTripSec"}};
        for (int slot = 0; slot < kScheduleSlots; ++slot) {
            named.append({SchedCmdField(slot), QStringLiteral("txtSchedCmd%1").arg(slot)});
            named.append({SchedTimeField(slot), QStringLiteral("txtSchedTime%1").arg(slot)});
        }
        for (const auto &[field, name] : named) {
            QWidget *widget = control<QWidget>(name);
            m_window->setText(field, name);
            const auto *box = qobject_cast<QLineEdit *>(widget);
            QCOMPARE(box ? box->text() : qobject_cast<QComboBox *>(widget)->currentText(), name);
            QCOMPARE(m_window->text(field), name);
            m_window->setEnabled(field, false);
            QVERIFY2(!widget->isEnabled(), qPrintable(name));
            QVERIFY(!m_window->isEnabled(field));
        }
    }

    void designState()
    {
        QCOMPARE(m_window->text(Field::FailLog), m_logPath);
        // A time means nothing until its slot has a command.
        for (int slot = 0; slot < kScheduleSlots; ++slot) {
            QVERIFY(m_window->isEnabled(SchedCmdField(slot)));
            QVERIFY(!m_window->isEnabled(SchedTimeField(slot)));
            QCOMPARE(m_window->text(SchedTimeField(slot)), QStringLiteral("12:00:00 AM"));
        }
        QCOMPARE(control<QGroupBox>(QStringLiteral("Frame2"))->title(),
                 QStringLiteral("Failure Action "));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Corvane"));
        QCOMPARE(m_window->objectName(), QStringLiteral("Form1"));
        QVERIFY(!m_window->windowIcon().isNull());
        for (QLabel *label : m_window->findChildren<QLabel *>()) {
            const bool fieldLabel = label->text().endsWith(u':');
            QVERIFY2(label->font().bold() == fieldLabel, qPrintable(label->objectName()));
            if (fieldLabel)
                QVERIFY2(label->alignment() & Qt::AlignRight, qPrintable(label->objectName()));
        }
    }

    void tabOrderAndFirstFocus()
    {
        for (int slot = 0; slot < kScheduleSlots; ++slot)
            m_window->setEnabled(SchedTimeField(slot), true);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
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
        m_window->setEnabled(Field::SchedTime0, false);
        control<QWidget>(QStringLiteral("txtSchedCmd0"))->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("txtSchedCmd1"));
    }

    void portItemsKeepTheTextShown()
    {
        m_window->setText(Field::FailPort, QStringLiteral("3"));
        for (const char *item : {"1", "2", "3", "4"})
            m_window->AddPortItem(QString::fromLatin1(item));
        QCOMPARE(control<QComboBox>(QStringLiteral("cmbFailPort"))->count(), 4);
        QCOMPARE(m_window->text(Field::FailPort), QStringLiteral("3"));
    }

    void extraItemsLeaveTheControlsInPlace()
    {
        QHash<const QWidget *, QRect> places;
        for (const QWidget *child : m_window->findChildren<QWidget *>())
            places.insert(child, child->geometry());

        QAction *extra = m_window->AddExtraItem(QStringLiteral("mExtra"), QStringLiteral("&Extra"));
        QCOMPARE(m_window->PopupMenu().actions().at(2), extra);
        QCOMPARE(m_window->PopupMenu().actions().last()->objectName(), QStringLiteral("mPopExit"));
        QVERIFY(m_window->actions().contains(extra));
        QCOMPARE(m_window->contextMenuPolicy(), Qt::ActionsContextMenu);
        for (const QWidget *child : m_window->findChildren<QWidget *>())
            QCOMPARE(child->geometry(), places.value(child));
    }

    void meterKeepsItsRange()
    {
        QCOMPARE(m_window->maximum(), 100);
        QCOMPARE(m_window->value(), 0);
        QVERIFY(!m_window->setMaximum(0));
        QVERIFY(!m_window->setMaximum(-5));
        QCOMPARE(m_window->maximum(), 100);
        QVERIFY(m_window->setMaximum(5));
        m_window->setValue(4);
        // Lowering the maximum below the value brings the value down with it rather
        // than losing it.
        QVERIFY(m_window->setMaximum(3));
        QCOMPARE(m_window->value(), 3);
        m_window->setValue(9);
        QCOMPARE(m_window->value(), 3);
        m_window->setValue(-1);
        QCOMPARE(m_window->value(), 0);
    }

    // A warning that nobody answers keeps the user out of the window but must not
    // stop either timer.
    void ticksGoOnUnderAnOpenWarning()
    {
        int pingTicks = 0;
        int receiveTicks = 0;
        m_window->onSecondTick = [&] { ++pingTicks; };
        m_window->onReceiveTick = [&] { ++receiveTicks; };
        const QList<QTimer *> timers = m_window->findChildren<QTimer *>();
        QCOMPARE(timers.size(), 2);
        for (QTimer *timer : timers) {
            QVERIFY(timer->isActive());
            QCOMPARE(timer->interval(), 1000);
            timer->setInterval(5);
        }
        QtMessageBoxes boxes;
        boxes.setWindow(m_window.get());
        m_window->show();

        QCOMPARE(boxes.show(QStringLiteral("Port could not be opened."),
                            QStringLiteral("Comm Port Error"), BoxStyle::OkExclamation),
                 BoxAnswer::Ok);
        QVERIFY(qobject_cast<QMessageBox *>(QApplication::activeModalWidget()));
        QTRY_VERIFY(pingTicks >= 3 && receiveTicks >= 3);
        QVERIFY(QApplication::activeModalWidget());
    }

    // While the user still thinks about the close question, its event loop runs:
    // the session may end, which is honoured once the question returns, or the
    // tray menu's Exit may be chosen, which asks nothing a second time.
    void somethingElseDuringTheCloseQuestion_data()
    {
        QTest::addColumn<bool>("sessionEnds");
        QTest::addColumn<QList<CloseReason>>("asked");
        QTest::addColumn<int>("unloads");

        QTest::addRow("session ends")
            << true << QList<CloseReason>{CloseReason::ByUser, CloseReason::SessionEnding} << 1;
        QTest::addRow("tray Exit chosen") << false << QList<CloseReason>{CloseReason::ByUser} << 0;
    }

    void somethingElseDuringTheCloseQuestion()
    {
        QFETCH(bool, sessionEnds);
        QFETCH(QList<CloseReason>, asked);
        QFETCH(int, unloads);

        QList<CloseReason> seen;
        int unloaded = 0;
        m_window->onCloseRequest = [&](CloseReason reason) {
            seen << reason;
            if (reason == CloseReason::ByUser && sessionEnds)
                m_window->CloseForSessionEnd();
            else if (reason == CloseReason::ByUser)
                m_window->findChild<QAction *>(QStringLiteral("mPopExit"))->trigger();
            return reason == CloseReason::SessionEnding;
        };
        m_window->onUnload = [&] { ++unloaded; };
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));

        m_window->close();

        QCOMPARE(seen, asked);
        QCOMPARE(unloaded, unloads);
    }

private:
    template <typename Control> Control *control(const QString &name)
    {
        auto *found = m_window->findChild<Control *>(name);
        if (!found)
            qFatal("no control %s", qPrintable(name));
        return found;
    }

    const QString m_logPath = QStringLiteral("/tmp/corvane-test/log.txt");
    std::unique_ptr<MainWindow> m_window;
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
