#pragma once

#include "ActionSafety.h"
#include "DeviceLink.h"
#include "EventLog.h"
#include "EventPrograms.h"
#include "FieldConfirmation.h"
#include "HistoryRecorder.h"
#include "HistoryStore.h"
#include "HistoryWindowEntry.h"
#include "LogindSleepSignal.h"
#include "MainWindow.h"
#include "MessageBoxes.h"
#include "MetricsFile.h"
#include "OptionsWindow.h"
#include "OutageNotifier.h"
#include "PingEngine.h"
#include "PingPermissionNotice.h"
#include "Schedule.h"
#include "Settings.h"
#include "TrayBadge.h"
#include "TrayWindow.h"
#include "WatchEvents.h"

#include <functional>
#include <memory>

class BusyPointer;
class Clock;
class EchoFacility;
class HistorySource;
class LoginStart;
class Pause;
class SerialPort;
class SettingsStore;
class StopRequest;
class TextEditor;
class TextFiles;
class Tray;

// The operating-system services the program runs on; main() hands in the real
// ones, tests hand in fakes or temporary ones.
struct PlatformServices
{
    EchoFacility &echo;
    SerialPort &serialPort;
    SettingsStore &settingsStore;
    TextFiles &textFiles;
    TextEditor &textEditor;
    MessageBoxes &messageBoxes;
    Tray &tray;
    const Clock &clock;
    Pause &pause;
    BusyPointer &busyPointer;
};

inline const QString kStartedLine = QStringLiteral("Corvane executable started.");
inline const QString kStoppedLine = QStringLiteral("Corvane executable stopped.");

// The whole program behind its main window: wires the window's events to the
// engine, the link, the log and the settings, runs start-up and the close request.
class CorvaneApp
{
public:
    // The history store is kept at historyPath, empty for beside the default log. The
    // History window shows history, or when none is given that store.
    CorvaneApp(const PlatformServices &services, const QString &logPath,
               HistorySource *history = nullptr, const QString &historyPath = {});

    // Start-up: loads the stored settings into the fields, opens the port, sets the
    // meter, installs the tray icon, tucks the window away and logs the start.
    void Start();

    // Without a display nobody can confirm the port field, so a closed port is
    // opened again before every send.
    void SetHeadless(bool headless) { m_link.setReopenBeforeSend(headless); }

    // The log of this run, set before Start: the log field shows it, greyed, in place
    // of its stored value, which stays as it is; the field is never stored.
    void OverrideLog(const QString &path) { m_logOverride = path; }

    // The settings file the event programs are named in, set before Start.
    void SetSettingsFile(const QString &path) { m_eventPrograms.setSettingsFile(path); }

    // Each entry of the log's own, as it is written, also goes to mirror.
    void MirrorLogEntries(std::function<void(const QString &)> mirror)
    {
        m_log.onEntry = std::move(mirror);
    }

    // Runs during Start, once the stored values are in the fields and before anything
    // is reported.
    std::function<void()> onFieldsLoaded;

    // Runs once the window has unloaded, to end the program.
    std::function<void()> onEnded;

    MainWindow &window() { return m_window; }
    PingEngine &engine() { return m_engine; }
    Schedule &schedule() { return m_schedule; }
    // Where the parts beyond the window and the log listen to the watch.
    WatchEventHub &events() { return m_events; }
    HistoryWindowEntry *historyWindow() { return m_historyWindow.get(); }
    OutageNotifier &notifier() { return m_notifier; }
    // The start at login that the Options window offers; none offers none.
    void SetLoginStart(LoginStart *loginStart) { m_loginStart = loginStart; }
    // The history of cycles and outages.
    HistorySource &history() { return m_history; }

private:
    void ConnectWindow();
    void ListenToTheWatch(const Clock &clock, HistorySource &history);
    // The options, the pause and the check that the router heard.
    void ConnectOptions();
    void ShowOptions();
    void Validate(Field field, bool &refuse);
    bool RequestClose(CloseReason reason);
    void Unload();
    void TakePingPeriodFromField();
    void TakeMeterMaximumFromField();

    // The pause is what a stop cuts short, so it also tells of one.
    const StopRequest &m_stop;
    MessageBoxes &m_boxes;
    WatchEventHub m_events;
    MainWindow m_window;
    TrayWindow m_trayWindow;
    TrayBadge m_trayBadge;
    Settings m_settings;
    EventLog m_log;
    DeviceLink m_link;
    Schedule m_schedule;
    PingPermissionNotice m_pingPermission;
    // The engine's tips pass through its pause.
    ActionSafety m_safety;
    // Tells of a resume sooner than the clocks, where a system bus carries it.
    LogindSleepSignal m_sleepSignal{[this](bool sleeping) { m_safety.PrepareForSleep(sleeping); }};
    PingEngine m_engine;
    FieldConfirmation m_confirmation;
    QString m_logOverride;
    OutageNotifier m_notifier;
    MetricsFile m_metrics;
    EventPrograms m_eventPrograms;
    std::unique_ptr<HistoryWindowEntry> m_historyWindow;
    HistoryStore m_history;
    HistoryRecorder m_historyRecorder;
    // Made when first asked for.
    std::unique_ptr<OptionsWindow> m_optionsWindow;
    LoginStart *m_loginStart = nullptr;
};

// One copy per user: when another copy holds the lock, tells the user and returns
// false; the caller then ends before touching the settings, the port or the log.
bool MayRunThisCopy(bool lockAcquired, MessageBoxes &boxes);
