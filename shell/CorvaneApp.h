#pragma once

#include "ActionSafety.h"
#include "DeviceLink.h"
#include "EventLog.h"
#include "FieldConfirmation.h"
#include "HistoryRecorder.h"
#include "HistoryStore.h"
#include "HistoryWindowEntry.h"
#include "MainWindow.h"
#include "MessageBoxes.h"
#include "MetricsFile.h"
#include "OptionsWindow.h"
#include "OutageNotifier.h"
#include "PingEngine.h"
#include "PingPermissionNotice.h"
#include "PowerCycle.h"
#include "Schedule.h"
#include "Settings.h"
#include "TrayBadge.h"
#include "TrayWindow.h"
#include "WatchEvents.h"

#include <functional>
#include <memory>

class BusyPointer;
class Clock;
class DesktopNotifications;
class EchoFacility;
class HistorySource;
class LoginStart;
class LogWriter;
class OwnLinkReader;
class Pause;
class SerialPort;
class SettingsStore;
class SleepSignal;
class StopRequest;
class TextEditor;
class TextFiles;
class Tray;
struct Options;

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
    // Tells of a resume sooner than the clocks.
    SleepSignal &sleepSignal;
    // The desktop's notification service; none leaves the notices to the tray.
    DesktopNotifications *notifications = nullptr;
    // Both write to the program's own log, so they are made once it exists: the
    // store of cycles and outages, and what runs the programs the live options name
    // at the watch's events.
    std::function<std::unique_ptr<HistoryStore>(LogWriter &log)> makeHistoryStore;
    std::function<std::unique_ptr<WatchEvents>(const Options &options, LogWriter &log)>
        makeEventPrograms;
    // What the History window shows; none shows the store.
    HistorySource *shownHistory = nullptr;
    // Tells whether this machine's own link is up before a fail command; none: a send
    // never waits for it.
    OwnLinkReader *ownLink = nullptr;
    // What switches the router's power through a relay, on the live options, writing
    // to the program's log; console tells the link's port and its number, which the
    // relay may share. None: POWER TEST does nothing.
    std::function<std::unique_ptr<PowerCycle>(
        const Options &options, LogWriter &log,
        std::function<std::pair<SerialPort *, int>()> console)>
        makePowerCycle = nullptr;
};

// How this run goes, as the command line and the desktop found decide: given once,
// to Start.
struct RunSettings
{
    // Without a display nobody can confirm the port field, so a closed port is
    // opened again before every send.
    bool headless = false;
    // The log of this run: the log field shows it, greyed, in place of its stored
    // value, which stays as it is; the field is never stored. Empty: the stored log.
    QString logOverride;
    // The start at login that the Options window offers; none offers none.
    LoginStart *loginStart = nullptr;
    // Each entry of the log's own, as it is written, also goes here.
    std::function<void(const QString &entry)> mirrorLogEntries;
    // Runs during Start, once the stored values are in the fields and before anything
    // is reported.
    std::function<void(const WindowFields &fields)> onFieldsLoaded;
    // Runs once the window has unloaded, to end the program.
    std::function<void()> onEnded;
};

inline const QString kStartedLine = QStringLiteral("Corvane executable started.");
inline const QString kStoppedLine = QStringLiteral("Corvane executable stopped.");

// The whole program behind its main window: wires the window's events to the
// engine, the link, the log and the settings, runs start-up and the close request.
class CorvaneApp
{
public:
    // logPath is the log field's text until the stored settings are loaded.
    CorvaneApp(const PlatformServices &services, const QString &logPath);

    // Start-up: loads the stored settings into the fields, opens the port, sets the
    // meter, installs the tray icon, tucks the window away and logs the start.
    void Start(RunSettings settings);

    MainWindow &window() { return m_window; }
    PingEngine &engine() { return m_engine; }
    Schedule &schedule() { return m_schedule; }
    // Where the parts beyond the window and the log listen to the watch.
    WatchEventHub &events() { return m_events; }
    HistoryWindowEntry *historyWindow() { return m_historyWindow.get(); }
    // The history of cycles and outages.
    HistorySource &history() { return *m_history; }

private:
    void ConnectWindow();
    void ListenToTheWatch(const PlatformServices &services);
    // The options, the pause, the check that the router heard and the grace after a
    // sleep.
    void ConnectOptions(SleepSignal &sleepSignal);
    void ShowOptions();
    void Validate(Field field, bool &refuse);
    bool RequestClose(CloseReason reason);
    void Unload();
    void TakePingPeriodFromField();
    // Every echo leaves by the way the options name, or not at all; what this machine
    // lacks of it is reported as a refused value is.
    void PinEchoes();
    void TakeMeterMaximumFromField();

    // The pause is what a stop cuts short, so it also tells of one.
    const StopRequest &m_stop;
    MessageBoxes &m_boxes;
    EchoFacility &m_echo;
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
    PingEngine m_engine;
    FieldConfirmation m_confirmation;
    OutageNotifier m_notifier;
    MetricsFile m_metrics;
    std::unique_ptr<WatchEvents> m_eventPrograms;
    std::unique_ptr<HistoryWindowEntry> m_historyWindow;
    std::unique_ptr<HistoryStore> m_history;
    HistoryRecorder m_historyRecorder;
    std::unique_ptr<PowerCycle> m_power;
    // Made when first asked for.
    std::unique_ptr<OptionsWindow> m_optionsWindow;
    RunSettings m_run;
};

// One copy per user: when another copy holds the lock, tells the user and returns
// false; the caller then ends before touching the settings, the port or the log.
bool MayRunThisCopy(bool lockAcquired, MessageBoxes &boxes);
