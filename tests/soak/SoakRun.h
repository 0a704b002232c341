#pragma once

#include "ChatteringSerialPort.h"
#include "DeviceLink.h"
#include "EngineRecorders.h"
#include "EventLog.h"
#include "FakeClock.h"
#include "FakeMessageBoxes.h"
#include "FakeWindowFields.h"
#include "IniSettingsStore.h"
#include "LocalTextFiles.h"
#include "LogFollower.h"
#include "OutageEcho.h"
#include "PingEngine.h"
#include "Schedule.h"
#include "Settings.h"
#include "SoakTaps.h"

#include <QRandomGenerator>

#include <array>

struct SoakFigures
{
    int days = 0;
    qint64 ticks = 0;
    qint64 lostTicks = 0;
    qint64 polls = 0;
    qint64 cycles = 0;
    qint64 outages = 0;
    qint64 primaryOutages = 0;
    qint64 failSends = 0;
    qint64 noResponses = 0;
    qint64 scheduledSends = 0;
    qint64 consoleBursts = 0;
    qint64 consoleBytesReceived = 0;
    qint64 consoleBytesLogged = 0;
    qint64 logBytes = 0;
    // Taken after the first day, when every cache has been filled, and at the end.
    qint64 heapAtStart = 0;
    qint64 heapAtEnd = 0;
    qint64 residentAtStart = 0;
    qint64 residentAtEnd = 0;
};

// The real engine, schedule, link, log and settings, driven by simulated timers
// through days of one-second ticks: a network that fails now and then, a router
// that talks on its console, and a clock that only the simulation moves. Every
// tick is checked; the run stops at the first broken rule.
class SoakRun
{
public:
    SoakRun(const QString &folder, quint32 seed);

    void run(int days);

    const QString &failure() const { return m_failure; }
    const SoakFigures &figures() const { return m_figures; }

private:
    qint64 NowMs() const { return m_clock.now().toMSecsSinceEpoch(); }
    void PlanNetwork(qint64 nowMs);
    void Timer1Tick(qint64 firedAtMs);
    void TimerCommTick();
    void CheckTick(qint64 firedAtMs, qint16 failCountBefore, OutageEcho::Reach reach);
    void CheckScheduledSends(qint64 firedAtMs);
    void CheckOutageEntries(bool cycleRan, qint16 failCountBefore);
    void EndDay(int day);
    void Fail(const QString &what);

    QString m_logPath;
    QRandomGenerator m_random;
    FakeClock m_clock;
    FakePause m_pause{&m_clock};
    FakeWindowFields m_fields;
    FakeMeter m_meter;
    FakeMessageBoxes m_boxes;
    IniSettingsStore m_store;
    Settings m_settings{m_store, m_boxes};
    LocalTextFiles m_files;
    UnusedTextEditor m_editor;
    EventLog m_eventLog{m_fields, m_clock, m_files, m_editor, m_boxes};
    LogTap m_logTap;
    ChatteringSerialPort m_port{m_random};
    IdleBusyPointer m_busyPointer;
    DeviceLink m_link{m_port, m_fields, m_settings, m_logTap, m_boxes, m_pause, m_busyPointer};
    SendTap m_sendTap{m_link};
    OutageEcho m_echo;
    RecordingTrayTip m_tray;
    Schedule m_schedule{m_fields, m_logTap, m_sendTap, m_settings, m_boxes, m_clock};
    PingEngine m_engine{m_fields, m_meter, m_echo,  m_sendTap,
                        m_logTap, m_tray,  m_clock, [this] { m_schedule.CheckSchedule(); }};
    LogFollower m_follower;

    // The simulated network.
    bool m_inOutage = false;
    qint64 m_outageEndsMs = 0;
    qint64 m_nextOutageMs = 0;

    // The slot whose time is changed halfway through the run.
    qint64 m_slotChangeMs = 0;
    bool m_slotChanged = false;
    std::array<qint64, kScheduleSlots> m_slotTimeMs{};
    std::array<int, kScheduleSlots> m_sentToday{};

    // The current outage, from the engine's side.
    qint64 m_lastFailSendMs = -1;
    qint64 m_lastOutageEntryMs = -1;
    qint64 m_longestEntryGapMs = 0;
    qint64 m_lastCycleMs = 0;

    SoakFigures m_figures;
    QString m_failure;
};
