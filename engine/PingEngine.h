#pragma once

#include "ActionGate.h"
#include "ProbedAddressTip.h"
#include "WindowFields.h"

#include <QtGlobal>

#include <functional>

class Clock;
class CommandSender;
class EchoFacility;
class LogWriter;
class Meter;
class PingPermissionNotice;
class StopRequest;
class TrayTip;
class WatchEvents;
struct CycleReport;
struct EchoReply;
struct ProbeReport;
enum class EchoHindrance;
enum class CommandKind;

// The ping timer's state and the ping cycle with its failure counting, failure action
// and resend. The window owns one and forwards the once-a-second tick and the PING NOW and
// FAIL TEST clicks to it; the fields are read afresh whenever a value is needed.
// Once a stop is requested it does nothing more, so that the stop line stays the
// last entry of the log. What it does is also told to the watch's listeners.
class PingEngine
{
public:
    // checkSchedule runs at the start of every tick, before the tick is counted.
    PingEngine(WindowFields &fields, Meter &meter, EchoFacility &echo, CommandSender &sender,
               LogWriter &log, TrayTip &tray, const Clock &clock, const StopRequest &stop,
               PingPermissionNotice &permissionNotice, WatchEvents &events,
               std::function<void()> checkSchedule);

    // The once-a-second tick: the schedule, then the count towards the next timed cycle.
    void OnSecondTick();
    enum class CycleCause
    {
        Timer,
        PingNow,
    };
    // One cycle: probe, show, count, and act on an outage.
    void PingCycle(CycleCause cause = CycleCause::PingNow);
    // FAIL TEST: sends the fail command and leaves the outage's state alone.
    void FailTest();
    // Below 1 there are no timed cycles.
    void SetPingPeriod(qint32 seconds);
    // Start-up: tells the user when no echo socket may be opened at all.
    void CheckEchoPermission();
    // Without a gate every fail command that falls due goes out.
    void SetActionGate(ActionGate &gate) { m_gate = &gate; }

    qint32 TickCount() const { return m_tickCount; }
    qint16 FailCount() const { return m_failCount; }
    qint16 ShownFailCount() const { return m_shownFailCount; }
    bool FailSent() const { return m_failSent; }
    // On the clock's monotonic count, which a step of the wall clock leaves alone.
    qint64 ResendAtMs() const { return m_resendAtMs; }
    qint32 PingPeriod() const { return m_pingPeriod; }

private:
    // What a cycle's echoes tell about the line.
    enum class Verdict
    {
        Answered,
        Failed,
        // No address answered and an echo could not be sent for lack of permission:
        // the silence says nothing about the line.
        Blind,
        // As Blind, as the path the echoes are pinned to is not there yet.
        NoPath,
        // A stop came during a wait: the cycle is abandoned.
        Stopped,
        // During an outage an address answered within the fail limits but not within
        // the recovery limits: the count stays where it was.
        Held,
    };

    // Runs the echoes and shows their results, which it also puts in the report.
    Verdict ProbeAddresses(CycleReport &report);
    // One address field's echoes, up to the first answer: the probe takes the field's
    // text, what it led to and the answering or last result, and the status field shows
    // it, unless a stop ended the wait. echoes counts those that went.
    EchoHindrance ProbeAddress(Field addressField, Field timeoutField, Field statusField,
                               ProbeReport &probe, EchoReply &reply, qint32 &echoes);
    // The gate's judgement of an address, its figures kept in the probe's report.
    AddressJudgement Judge(ProbedAddress which, ProbeReport &probe);
    static QString TripText(const EchoReply &reply);
    void Show(Field field, const QString &text);
    // Whether this cycle ends the outage, or would end one.
    bool OutageOver(Verdict verdict);
    void CountCycle(Verdict verdict, bool outageOver);
    void ShowFailCount();
    // Tells the listeners of the cycle and of an outage that begins or ends with it.
    void ReportCycle(CycleReport &report, bool outageOver);
    bool RetriesReached() const;
    void ActOnOutage();
    // The fail command as the field holds it now, sent and told to the listeners.
    void SendFailCommand(CommandKind kind);
    // Tells the listeners when echoes stop or start going out again.
    void SetBlind(bool blind);
    qint32 TimeoutMs(Field timeoutField) const;

    WindowFields &m_fields;
    Meter &m_meter;
    EchoFacility &m_echo;
    CommandSender &m_sender;
    LogWriter &m_log;
    // Every tip goes through it, so that a host name's address stays shown whatever
    // the watch's text.
    ProbedAddressTip m_tip;
    const Clock &m_clock;
    const StopRequest &m_stop;
    PingPermissionNotice &m_permissionNotice;
    WatchEvents &m_events;
    std::function<void()> m_checkSchedule;
    ActionGate *m_gate = nullptr;

    qint32 m_tickCount = 0;
    qint16 m_failCount = 0;
    qint16 m_shownFailCount = 0;
    // Unset at start behaves as false, so a plain false stands for both.
    bool m_failSent = false;
    // Meaningful only while m_failSent is true.
    qint64 m_resendAtMs = 0;
    qint32 m_pingPeriod = 0;
    // Kept apart from the failure count, which a meter maximum of 0 holds at 0.
    bool m_inOutage = false;
    // The fail command has gone in this outage (a resend re-arms m_failSent, not this).
    bool m_failCommandWent = false;
    qint32 m_answersInRow = 0;
    // No echo could be sent, since the start-up check or the last cycle.
    bool m_blind = false;
};
