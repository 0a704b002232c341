#pragma once

#include "WindowFields.h"

#include <QDateTime>
#include <QtGlobal>

#include <functional>

class Clock;
class CommandSender;
class EchoFacility;
class LogWriter;
class Meter;
class TrayTip;

// The ping timer's state and the ping cycle with its failure counting, failure action
// and resend. The window owns one and forwards Timer1's tick and the PING NOW and
// FAIL TEST clicks to it; the fields are read afresh whenever a value is needed.
class PingEngine
{
public:
    // checkSchedule runs at the start of every tick, before the tick is counted.
    PingEngine(WindowFields &fields, Meter &meter, EchoFacility &echo, CommandSender &sender,
               LogWriter &log, TrayTip &tray, const Clock &clock,
               std::function<void()> checkSchedule);

    // Timer1's tick: the schedule, then the count towards the next timed cycle.
    void Timer1Tick();
    // One cycle: probe, show, count, and act on an outage. Also PING NOW.
    void PingCycle();
    // FAIL TEST: sends the fail command and leaves the outage's state alone.
    void FailTest();
    // Below 1 there are no timed cycles.
    void SetPingPeriod(qint32 seconds);

    qint32 TickCount() const { return m_tickCount; }
    qint16 FailCount() const { return m_failCount; }
    qint16 ShownFailCount() const { return m_shownFailCount; }
    bool FailSent() const { return m_failSent; }
    QDateTime ResendTime() const { return m_resendTime; }
    qint32 PingPeriod() const { return m_pingPeriod; }

private:
    // Runs the echoes and shows their results; true when either address answered.
    bool ProbeAddresses();
    void ShowFailCount();
    void ActOnOutage();
    qint32 TimeoutMs(Field timeoutField) const;

    WindowFields &m_fields;
    Meter &m_meter;
    EchoFacility &m_echo;
    CommandSender &m_sender;
    LogWriter &m_log;
    TrayTip &m_tray;
    const Clock &m_clock;
    std::function<void()> m_checkSchedule;

    qint32 m_tickCount = 0;
    qint16 m_failCount = 0;
    qint16 m_shownFailCount = 0;
    // Unset at start behaves as false, so a plain false stands for both.
    bool m_failSent = false;
    // Meaningful only while m_failSent is true.
    QDateTime m_resendTime;
    qint32 m_pingPeriod = 0;
};
