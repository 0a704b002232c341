#include "MainWindow.h"

#include "ConfirmOnLeave.h"
#include "WindowIcon.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QHash>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <utility>

namespace {

// The client area of the design, 9210 by 8385 twips.
constexpr QSize kClientSize(614, 559);

QTimer *StartTimer(QWidget &window, const QString &name)
{
    auto *timer = new QTimer(&window);
    timer->setObjectName(name);
    timer->setInterval(1000);
    timer->start();
    return timer;
}

} // namespace

MainWindow::MainWindow(const QString &logPath, QWidget *parent)
    : QWidget(parent), m_controls(BuildMainWindowControls(*this, logPath))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Corvane"));
    setWindowIcon(WindowIcon());
    setFixedSize(kClientSize);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    const MainWindowControls &c = m_controls;
    const std::pair<Field, QWidget *> fields[] = {
        {Field::AddrPri, c.txtAddrPri},       {Field::AddrSec, c.txtAddrSec},
        {Field::TimeoutPri, c.txtTimeoutPri}, {Field::TimeoutSec, c.txtTimeoutSec},
        {Field::Period, c.txtPeriod},         {Field::FailCommand, c.txtFailCommand},
        {Field::FailPort, c.cmbFailPort},     {Field::FailTries, c.txtFailTries},
        {Field::FailResend, c.txtFailResend}, {Field::FailLog, c.txtFailLog},
        {Field::StatusPri, c.txtStatusPri},   {Field::TripPri, c.txtTripPri},
        {Field::StatusSec, c.txtStatusSec},   {Field::TripSec, c.txtTripSec},
    };
    for (const auto &[field, widget] : fields)
        m_fieldWidgets[static_cast<int>(field)] = widget;
    for (int slot = 0; slot < kScheduleSlots; ++slot) {
        m_fieldWidgets[static_cast<int>(SchedCmdField(slot))] = c.txtSchedCmd[slot];
        m_fieldWidgets[static_cast<int>(SchedTimeField(slot))] = c.txtSchedTime[slot];
    }

    m_secondTimer = StartTimer(*this, QStringLiteral("Timer1"));
    m_receiveTimer = StartTimer(*this, QStringLiteral("TimerComm"));
    ConnectEvents();
    c.txtAddrPri->setFocus();
}

QAction *MainWindow::AddExtraItem(const QString &name, const QString &caption)
{
    auto *action = new QAction(caption, this);
    action->setObjectName(name);
    m_controls.mPopupSys->insertAction(m_controls.mPopExit, action);
    addAction(action);
    return action;
}

void MainWindow::ConnectEvents()
{
    const MainWindowControls &c = m_controls;
    connect(c.Command1, &QPushButton::clicked, this, [this] {
        if (onPingNowClick)
            onPingNowClick();
    });
    connect(c.Command2, &QPushButton::clicked, this, [this] {
        if (onFailTestClick)
            onFailTestClick();
    });
    const auto viewLog = [this] {
        if (onViewLogClick)
            onViewLogClick();
    };
    connect(c.Command3, &QPushButton::clicked, this, viewLog);
    connect(c.mViewLog, &QAction::triggered, this, viewLog);
    connect(c.mPopExit, &QAction::triggered, this,
            [this] { CloseWithReason(CloseReason::ByProgram); });
    // Ticks also arrive while the close question waits for its answer, inside its
    // event loop. They do no harm there: the question is asked only by the close
    // request, itself an event delivered between handlers, so a tick never lands
    // half-way through a ping cycle or a send; and until the answer is Yes the
    // router is still being watched. No other box runs an event loop.
    connect(m_secondTimer, &QTimer::timeout, this, [this] {
        if (onSecondTick)
            onSecondTick();
    });
    connect(m_receiveTimer, &QTimer::timeout, this, [this] {
        if (onReceiveTick)
            onReceiveTick();
    });
    for (int slot = 0; slot < kScheduleSlots; ++slot) {
        connect(c.txtSchedCmd[slot], &QLineEdit::textChanged, this, [this, slot] {
            if (onScheduledCommandChange)
                onScheduledCommandChange(slot);
        });
    }

    // Every field the user types into is confirmed as the focus leaves it; the
    // result fields are not.
    QList<QWidget *> confirmed;
    QHash<QWidget *, Field> fieldOf;
    for (int index = 0; index < static_cast<int>(m_fieldWidgets.size()); ++index) {
        const auto field = static_cast<Field>(index);
        if (field == Field::StatusPri || field == Field::TripPri || field == Field::StatusSec ||
            field == Field::TripSec)
            continue;
        confirmed << m_fieldWidgets[index];
        fieldOf.insert(m_fieldWidgets[index], field);
    }
    new ConfirmOnLeave(*this, confirmed, [this, fieldOf](QWidget &widget, bool &refuse) {
        if (onValidate)
            onValidate(fieldOf.value(&widget), refuse);
    });
}

QWidget *MainWindow::widgetOf(Field field) const
{
    return m_fieldWidgets[static_cast<int>(field)];
}

QString MainWindow::text(Field field) const
{
    if (field == Field::FailPort)
        return m_controls.cmbFailPort->currentText();
    return static_cast<QLineEdit *>(widgetOf(field))->text();
}

void MainWindow::setText(Field field, const QString &text)
{
    if (field == Field::FailPort) {
        m_controls.cmbFailPort->setEditText(text);
        return;
    }
    auto *box = static_cast<QLineEdit *>(widgetOf(field));
    box->setText(text);
    box->setCursorPosition(0);
}

bool MainWindow::isEnabled(Field field) const
{
    return widgetOf(field)->isEnabled();
}

void MainWindow::setEnabled(Field field, bool enabled)
{
    widgetOf(field)->setEnabled(enabled);
}

int MainWindow::maximum() const
{
    return m_controls.progBar1->maximum();
}

bool MainWindow::setMaximum(int maximum)
{
    if (maximum <= 0)
        return false;
    // A progress bar whose value falls outside a new range forgets its value, so
    // the value is brought within the new maximum first.
    QProgressBar &meter = *m_controls.progBar1;
    meter.setValue(qMin(meter.value(), maximum));
    meter.setMaximum(maximum);
    return true;
}

int MainWindow::value() const
{
    return m_controls.progBar1->value();
}

void MainWindow::setValue(int value)
{
    m_controls.progBar1->setValue(qBound(0, value, maximum()));
}

void MainWindow::AddPortItem(const QString &item)
{
    QComboBox &port = *m_controls.cmbFailPort;
    const QString shown = port.currentText();
    port.addItem(item);
    port.setEditText(shown);
}

void MainWindow::CloseForSessionEnd()
{
    // The close question is open: nothing can close the window under it, so the
    // session's end is honoured when the question returns.
    if (m_askingToClose) {
        m_sessionEndedWhileAsking = true;
        return;
    }
    CloseWithReason(CloseReason::SessionEnding);
}

void MainWindow::CloseWithReason(CloseReason reason)
{
    m_closeReason = reason;
    close();
    m_closeReason = CloseReason::ByUser;
}

bool MainWindow::MayClose(CloseReason reason)
{
    if (!onCloseRequest)
        return true;
    m_askingToClose = true;
    bool goAhead = onCloseRequest(reason);
    m_askingToClose = false;
    if (std::exchange(m_sessionEndedWhileAsking, false) && !goAhead)
        goAhead = onCloseRequest(CloseReason::SessionEnding);
    return goAhead;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_unloaded) {
        event->accept();
        return;
    }
    if (!MayClose(m_closeReason)) {
        event->ignore();
        return;
    }
    event->accept();
    m_unloaded = true;
    if (onUnload)
        onUnload();
}
