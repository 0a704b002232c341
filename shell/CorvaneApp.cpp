#include "CorvaneApp.h"

#include "EchoFacility.h"
#include "LastValues.h"
#include "Pause.h"
#include "PinnedPath.h"
#include "SleepSignal.h"
#include "StoredValuesCheck.h"
#include "WholeNumber.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <utility>

CorvaneApp::CorvaneApp(const PlatformServices &services, const QString &logPath)
    : m_stop(services.pause), m_boxes(services.messageBoxes), m_echo(services.echo),
      m_window(logPath), m_trayWindow(m_window, services.tray),
      m_trayBadge([this](BadgeState state) { m_trayWindow.ShowBadge(state); }),
      m_settings(services.settingsStore, m_boxes),
      m_log(m_window, services.clock, services.textFiles, services.textEditor, m_boxes),
      m_link(services.serialPort, m_window, m_settings, m_log, m_boxes, services.pause,
             services.busyPointer, m_events),
      m_schedule(m_window, m_log, m_link, m_settings, m_boxes, services.clock, m_events),
      m_pingPermission(m_log, m_boxes, QCoreApplication::applicationFilePath()),
      m_safety(
          m_trayWindow, [this] { return m_trayWindow.TipText(); }, m_log, services.clock),
      m_engine(m_window, m_window, services.echo, m_link, m_log, m_safety.pause(), services.clock,
               m_stop, m_pingPermission, m_events, [this] { m_schedule.CheckSchedule(); }),
      m_confirmation(m_window, m_window, m_settings, m_boxes,
                     [this](qint32 seconds) { m_engine.SetPingPeriod(seconds); }),
      m_notifier(services.tray, services.clock), m_metrics(m_window, services.clock, m_log),
      m_eventPrograms(services.makeEventPrograms(m_safety.options(), m_log)),
      m_history(services.makeHistoryStore(m_log)), m_historyRecorder(*m_history, services.clock)
{
    ConnectWindow();
    ListenToTheWatch(services);
    ConnectOptions(services.sleepSignal);
    if (services.ownLink != nullptr)
        m_safety.readOwnLinkWith(*services.ownLink);
    if (services.makePowerCycle) {
        m_power =
            services.makePowerCycle(m_safety.options(), m_log, [this, &port = services.serialPort] {
                return std::pair<SerialPort *, int>(
                    &port, WholeNumber16(m_window.text(Field::FailPort)).value_or(0));
            });
        // A stop in the hold switches the power on before the stop line.
        m_events.listen(*m_power);
    }
}

void CorvaneApp::ConnectWindow()
{
    m_window.onPingNowClick = [this] { m_engine.PingCycle(); };
    m_window.onFailTestClick = [this] { m_engine.FailTest(); };
    m_window.onViewLogClick = [this] { m_log.ViewLog(); };
    m_window.onSecondTick = [this] { m_engine.OnSecondTick(); };
    // Once a stop is under way, the router's output waits in the port: nothing is
    // logged after the stop line. The options' tick follows the poll, so that an
    // acknowledgement read in time counts before its wait ends.
    m_window.onReceiveTick = [this] {
        if (m_stop.stopRequested())
            return;
        m_link.PollReceive();
        m_safety.Tick();
        // The hold is counted here, so that the watch goes on while the power is off.
        if (m_power)
            m_power->Tick();
    };
    m_window.onScheduledCommandChange = [this](int slot) { m_schedule.CommandChanged(slot); };
    m_window.onValidate = [this](Field field, bool &refuse) { Validate(field, refuse); };
    m_window.onCloseRequest = [this](CloseReason reason) { return RequestClose(reason); };
    m_window.onUnload = [this] { Unload(); };
}

void CorvaneApp::ListenToTheWatch(const PlatformServices &services)
{
    // The store records a cycle before the History window reads it back.
    m_events.listen(m_historyRecorder);
    // The History window's item comes first of the extra items, right after
    // "&View Log".
    m_historyWindow = std::make_unique<HistoryWindowEntry>(
        services.shownHistory ? *services.shownHistory : *m_history, services.clock, m_boxes,
        m_window.windowIcon());
    m_events.listen(*m_historyWindow);
    QAction *item = m_window.AddExtraItem(QStringLiteral("mHistory"), QStringLiteral("&History"));
    QObject::connect(item, &QAction::triggered, item, [this] { m_historyWindow->open(); });
    m_notifier.setDesktopNotifications(services.notifications);
    m_events.listen(m_notifier);
    m_events.listen(m_metrics);
    m_events.listen(*m_eventPrograms);
    m_events.listen(m_trayBadge);
    // The tip tells of a watch that can send no echo.
    m_events.listen(m_trayWindow);
}

void CorvaneApp::ConnectOptions(SleepSignal &sleepSignal)
{
    // Tied to the window, so that it ends with the app: main's signal outlives it.
    QObject::connect(&sleepSignal, &SleepSignal::sleepNotice, &m_window,
                     [this](bool sleeping) { m_safety.PrepareForSleep(sleeping); });
    m_events.listen(m_safety);
    m_safety.reportVerdictsTo(m_events);
    m_engine.SetActionGate(m_safety.gate());
    QAction *options =
        m_window.AddExtraItem(QStringLiteral("mOptions"), QStringLiteral("&Options\u2026"));
    QAction *pause = m_window.AddExtraItem(QStringLiteral("mPauseActions"),
                                           QStringLiteral("Pause actions for 1 hour"));
    QAction *resume =
        m_window.AddExtraItem(QStringLiteral("mResumeActions"), QStringLiteral("Resume actions"));
    resume->setVisible(false);
    ActionPause &actionPause = m_safety.pause();
    QObject::connect(options, &QAction::triggered, &m_window, [this] { ShowOptions(); });
    QObject::connect(pause, &QAction::triggered, &m_window,
                     [&actionPause] { actionPause.PauseForOneHour(); });
    QObject::connect(resume, &QAction::triggered, &m_window,
                     [&actionPause] { actionPause.Resume(); });
    actionPause.onChanged = [this, &actionPause, pause, resume] {
        pause->setVisible(!actionPause.isPaused());
        resume->setVisible(actionPause.isPaused());
        m_trayBadge.setPaused(actionPause.isPaused());
    };
}

void CorvaneApp::ShowOptions()
{
    if (!m_optionsWindow) {
        m_optionsWindow = std::make_unique<OptionsWindow>(
            m_safety.options(), m_settings, m_boxes,
            [this] { return m_safety.ackWatcher().ConsoleTail(); }, m_window, m_run.loginStart);
        m_optionsWindow->onChanged = [this](OptionKey key) {
            if (key == OptionKey::ReopenPort)
                m_link.setReopenPort(m_safety.options().reopenPort);
            else if (key == OptionKey::Notify)
                m_notifier.setEnabled(m_safety.options().notify);
            else if (key == OptionKey::MetricsFile)
                m_metrics.setPath(m_safety.options().metricsFile);
            else if (key == OptionKey::TrayBadge)
                m_trayBadge.setEnabled(m_safety.options().trayBadge);
            else if (key == OptionKey::Interface || key == OptionKey::SourceAddress)
                PinEchoes();
        };
        m_optionsWindow->onPowerTest = [this] {
            if (m_power)
                m_power->Start(QStringLiteral("Power test"));
        };
    }
    m_optionsWindow->ShowOptions();
}

void CorvaneApp::Validate(Field field, bool &refuse)
{
    for (int slot = 0; slot < kScheduleSlots; ++slot) {
        if (field == SchedCmdField(slot)) {
            m_schedule.ConfirmCommand(slot);
            return;
        }
        if (field == SchedTimeField(slot)) {
            refuse = !m_schedule.ConfirmTime(slot);
            return;
        }
    }
    if (field == Field::FailPort) {
        m_link.ValidateFailPort();
        return;
    }
    // The log named for this run is not the user's stored choice.
    if (field == Field::FailLog && !m_run.logOverride.isEmpty())
        return;
    m_confirmation.Confirm(field, refuse);
}

void CorvaneApp::Start(RunSettings settings)
{
    m_run = std::move(settings);
    m_link.setReopenBeforeSend(m_run.headless);
    m_log.onEntry = m_run.mirrorLogEntries;
    // The log's default folder is ours to make; a path the user chose is not.
    if (m_run.logOverride.isEmpty())
        QDir().mkpath(QFileInfo(m_window.text(Field::FailLog)).absolutePath());

    for (const char *item : {"1", "2", "3", "4"})
        m_window.AddPortItem(QString::fromLatin1(item));

    LastValuesLoad load = LoadLastValues(m_settings, m_window);
    if (!m_run.logOverride.isEmpty()) {
        m_window.setText(Field::FailLog, m_run.logOverride);
        m_window.setEnabled(Field::FailLog, false);
        // This run does not read the stored log, so nothing is said of it.
        load.notTaken.removeAll(Field::FailLog);
    }
    if (m_run.onFieldsLoaded)
        m_run.onFieldsLoaded(m_window);
    // A hand-edited line that could not be read is named once, in the log the record
    // chose, so that its key is not silently taken as never written.
    if (const QString skipped = m_settings.SkippedLinesReport(); !skipped.isEmpty())
        m_log.WriteLog(skipped, true, true, kSystemMessage);
    // Before anything reads the fields, so that everything runs with the values the
    // report names.
    TakeFallbacksForRefusedStoredValues(m_settings, m_window, load.notTaken, m_log, m_boxes);
    m_safety.Load(m_settings, m_boxes);
    PinEchoes();
    m_notifier.setEnabled(m_safety.options().notify);
    m_trayBadge.setEnabled(m_safety.options().trayBadge);
    m_metrics.setPath(m_safety.options().metricsFile);
    m_historyRecorder.setEnabled(m_safety.options().history);
    m_link.setReopenPort(m_safety.options().reopenPort);
    TakePingPeriodFromField();
    for (int slot = 0; slot < kScheduleSlots; ++slot)
        m_schedule.SetScheduleTime(slot, m_window.text(SchedTimeField(slot)));

    m_link.OpenCommPort();
    TakeMeterMaximumFromField();

    m_trayWindow.StartInTray();
    m_log.WriteLog(kStartedLine, true, true, kSystemMessage);
    m_events.watchStarted();
    m_engine.CheckEchoPermission();
}

void CorvaneApp::PinEchoes()
{
    const Options &options = m_safety.options();
    m_echo.pinTo(PinnedPathOf(options));
    ReportRefusedLines(UnpinnedPathLines(options),
                       QStringLiteral("Echoes cannot leave by the way the options name, and "
                                      "none goes another way:"),
                       m_log, m_boxes);
}

void CorvaneApp::TakePingPeriodFromField()
{
    // A refused stored period has fallen back to the field's default by now, so the
    // field shows the period the watch runs at.
    m_engine.SetPingPeriod(*WholeNumber32(m_window.text(Field::Period)));
}

void CorvaneApp::TakeMeterMaximumFromField()
{
    // A retry count that does not convert, or that the meter refuses, leaves the
    // meter's maximum as the window made it.
    if (const std::optional<qint16> tries = WholeNumber16(m_window.text(Field::FailTries)))
        m_window.setMaximum(*tries);
}

bool CorvaneApp::RequestClose(CloseReason reason)
{
    if (reason != CloseReason::SessionEnding) {
        const BoxAnswer answer = m_boxes.show(QStringLiteral("Stop monitoring the router?"),
                                              m_window.windowTitle(), BoxStyle::YesNoQuestion);
        if (answer != BoxAnswer::Yes)
            return false;
    }
    m_events.watchStopping();
    m_log.WriteLog(kStoppedLine, true, true, kSystemMessage);
    m_events.watchStopped();
    return true;
}

void CorvaneApp::Unload()
{
    m_trayWindow.RemoveTrayIcon();
    if (m_run.onEnded)
        m_run.onEnded();
}

bool MayRunThisCopy(bool lockAcquired, MessageBoxes &boxes)
{
    if (lockAcquired)
        return true;
    boxes.show(QStringLiteral("Only one instance of this application may be run at a time."),
               QStringLiteral("Corvane"), BoxStyle::Ok);
    return false;
}
