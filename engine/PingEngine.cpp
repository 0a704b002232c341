#include "PingEngine.h"

#include "Clock.h"
#include "CommandSender.h"
#include "EchoProbe.h"
#include "LocaleText.h"
#include "LogWriter.h"
#include "PingPermissionNotice.h"
#include "StopLatch.h"
#include "TrayTip.h"
#include "WatchEvents.h"
#include "WholeNumber.h"

#include <limits>
#include <utility>

namespace {

// Fields may hold text that validation refused while the user corrects it; a cycle
// then runs with these instead.
constexpr qint32 kFallbackTimeoutMs = 2000;
constexpr qint32 kFallbackResendMinutes = 30;

const QString kNoResponse = QStringLiteral("No response to pings.");

} // namespace

PingEngine::PingEngine(WindowFields &fields, Meter &meter, EchoFacility &echo,
                       CommandSender &sender, LogWriter &log, TrayTip &tray, const Clock &clock,
                       const StopRequest &stop, PingPermissionNotice &permissionNotice,
                       WatchEvents &events, std::function<void()> checkSchedule)
    : m_fields(fields), m_meter(meter), m_echo(echo), m_sender(sender), m_log(log), m_tip(tray),
      m_clock(clock), m_stop(stop), m_permissionNotice(permissionNotice), m_events(events),
      m_checkSchedule(std::move(checkSchedule))
{
}

void PingEngine::OnSecondTick()
{
    // A tick that was already queued when the stop came.
    if (m_stop.stopRequested())
        return;
    if (m_checkSchedule)
        m_checkSchedule();
    // Without timed cycles the count would run on for decades; stop it at the top.
    if (m_tickCount < std::numeric_limits<qint32>::max())
        ++m_tickCount;
    // An outage may be watched more closely than a quiet line; without timed cycles
    // there is none to quicken.
    const qint32 period = m_inOutage && m_gate && m_pingPeriod > 0
                              ? m_gate->PeriodDuringOutage(m_pingPeriod)
                              : m_pingPeriod;
    if (period > 0 && m_tickCount >= period) {
        m_tickCount = 0;
        PingCycle(CycleCause::Timer);
    }
    if (!m_stop.stopRequested())
        m_events.watchTicked();
}

void PingEngine::FailTest()
{
    SendFailCommand(CommandKind::FailTest);
}

void PingEngine::SetPingPeriod(qint32 seconds)
{
    m_pingPeriod = seconds;
}

void PingEngine::CheckEchoPermission()
{
    if (m_echo.maySendEchoes())
        return;
    m_permissionNotice.NoPermission();
    SetBlind(true);
}

void PingEngine::PingCycle(CycleCause cause)
{
    // Also when the schedule's send in this tick was cut short by the stop, and for
    // a PING NOW click that was queued behind it.
    if (m_stop.stopRequested())
        return;
    CycleReport report;
    report.byUser = cause == CycleCause::PingNow;
    const Verdict verdict = ProbeAddresses(report);
    if (verdict == Verdict::Stopped)
        return;
    // A blind cycle neither fails nor answers: the count stays where it was. Only a
    // missing permission has advice to give; a missing path was told at start-up.
    if (verdict == Verdict::Blind || verdict == Verdict::NoPath) {
        if (verdict == Verdict::Blind)
            m_permissionNotice.NoPermission();
        SetBlind(true);
        return;
    }
    m_permissionNotice.EchoesSent();
    SetBlind(false);
    m_tip.ShowProbed(report);

    const bool outageOver = OutageOver(verdict);
    CountCycle(verdict, outageOver);
    ShowFailCount();
    report.answered = verdict == Verdict::Answered;
    report.held = verdict == Verdict::Held;
    ReportCycle(report, outageOver);
    if (verdict == Verdict::Failed && RetriesReached())
        ActOnOutage();
}

PingEngine::Verdict PingEngine::ProbeAddresses(CycleReport &report)
{
    EchoReply primary{};
    const EchoHindrance primaryHindrance =
        ProbeAddress(Field::AddrPri, Field::TimeoutPri, Field::StatusPri, report.primary, primary,
                     report.echoes);
    if (primaryHindrance == EchoHindrance::Stopped)
        return Verdict::Stopped;
    Show(Field::TripPri, TripText(primary));
    const AddressJudgement primaryJudgement = Judge(ProbedAddress::Primary, report.primary);
    if (primaryJudgement.standing == AddressStanding::Passes) {
        Show(Field::TripSec, QString());
        Show(Field::StatusSec, QString());
        m_fields.setEnabled(Field::StatusSec, false);
        m_fields.setEnabled(Field::TripSec, false);
        return Verdict::Answered;
    }

    m_fields.setEnabled(Field::StatusSec, true);
    m_fields.setEnabled(Field::TripSec, true);
    EchoReply secondary{};
    const EchoHindrance secondaryHindrance =
        ProbeAddress(Field::AddrSec, Field::TimeoutSec, Field::StatusSec,
                     report.secondary.emplace(), secondary, report.echoes);
    if (secondaryHindrance == EchoHindrance::Stopped)
        return Verdict::Stopped;
    Show(Field::TripSec, TripText(secondary));
    const AddressJudgement secondaryJudgement = Judge(ProbedAddress::Secondary, *report.secondary);
    if (secondaryJudgement.standing == AddressStanding::Passes)
        return Verdict::Answered;
    if (primaryHindrance == EchoHindrance::NoPermission ||
        secondaryHindrance == EchoHindrance::NoPermission)
        return Verdict::Blind;
    if (primaryHindrance == EchoHindrance::NoPath || secondaryHindrance == EchoHindrance::NoPath)
        return Verdict::NoPath;
    for (const AddressJudgement *judgement : {&primaryJudgement, &secondaryJudgement}) {
        if (!judgement->reason.isEmpty())
            report.reason +=
                (report.reason.isEmpty() ? QString() : QStringLiteral("  ")) + judgement->reason;
    }
    // An address between the limits holds an outage where it is: neither end nor count.
    if (primaryJudgement.standing == AddressStanding::Between ||
        secondaryJudgement.standing == AddressStanding::Between)
        return Verdict::Held;
    return Verdict::Failed;
}

AddressJudgement PingEngine::Judge(ProbedAddress which, ProbeReport &probe)
{
    AddressJudgement judgement = m_gate ? m_gate->JudgeAddress(which, probe, m_inOutage)
                                        : AnsweredInCycle(probe.status == kEchoSuccess);
    probe.lossPercent = judgement.lossPercent;
    probe.medianMs = judgement.medianMs;
    return judgement;
}

QString PingEngine::TripText(const EchoReply &reply)
{
    return reply.Status == kEchoSuccess ? QString::number(reply.RoundTripTime) : QString();
}

EchoHindrance PingEngine::ProbeAddress(Field addressField, Field timeoutField, Field statusField,
                                       ProbeReport &probe, EchoReply &reply, qint32 &echoes)
{
    probe.address = m_fields.text(addressField);
    const qint32 timeoutMs = TimeoutMs(timeoutField);
    // One lost echo says little about the line: an address may get further tries within
    // the cycle, each with its full time-out, and the first answer counts.
    const qint32 tries = m_gate ? m_gate->EchoesPerAddress() : 1;
    EchoHindrance hindrance = EchoHindrance::None;
    for (qint32 attempt = 0; attempt < tries; ++attempt) {
        if (attempt > 0 && m_stop.stopRequested())
            return EchoHindrance::Stopped;
        reply = {};
        hindrance = PingAddress(m_echo, probe.address, reply, timeoutMs, &probe.resolved);
        if (hindrance == EchoHindrance::Stopped)
            return hindrance;
        ++echoes;
        const bool wentOut =
            hindrance != EchoHindrance::NoPermission && hindrance != EchoHindrance::NoPath;
        // An echo that could not go out says nothing of the address.
        if (wentOut)
            ++probe.echoes;
        // Without permission no echo went out, and none will on a further try.
        if (!wentOut || reply.Status == kEchoSuccess)
            break;
    }
    probe.status = static_cast<qint32>(reply.Status);
    probe.roundTripMs = static_cast<qint32>(reply.RoundTripTime);
    Show(statusField, EchoStatusText(probe.status));
    return hindrance;
}

void PingEngine::Show(Field field, const QString &text)
{
    // Every change repaints the window, which costs more than the echo itself; a
    // line that keeps answering alike changes nothing.
    if (m_fields.text(field) != text)
        m_fields.setText(field, text);
}

bool PingEngine::OutageOver(Verdict verdict)
{
    if (verdict != Verdict::Answered) {
        m_answersInRow = 0;
        return false;
    }
    if (m_answersInRow < std::numeric_limits<qint32>::max())
        ++m_answersInRow;
    // Once the fail command has gone, a line that answers for a moment must not end the
    // outage: the next failure would start a new one and send again at once.
    const qint32 needed = m_failCommandWent && m_gate ? m_gate->CyclesToRecover() : 1;
    return m_answersInRow >= needed;
}

void PingEngine::CountCycle(Verdict verdict, bool outageOver)
{
    if (outageOver) {
        m_failCount = 0;
        m_failCommandWent = false;
    } else if (verdict == Verdict::Failed && m_failCount < std::numeric_limits<qint16>::max()) {
        ++m_failCount;
    }
}

void PingEngine::ShowFailCount()
{
    if (m_failCount == 0)
        m_failSent = false;
    else if (m_failCount > m_meter.maximum())
        m_failCount = static_cast<qint16>(qMax(0, m_meter.maximum()));
    m_meter.setValue(m_failCount);

    if (m_failCount == m_shownFailCount)
        return;
    m_shownFailCount = m_failCount;
    const double percentage = static_cast<double>(m_meter.value()) / m_meter.maximum() * 100;
    m_tip.UpdateTrayTip(QStringLiteral("Corvane (") + GeneralNumberText(percentage) +
                        QStringLiteral("%)"));
}

void PingEngine::ReportCycle(CycleReport &report, bool outageOver)
{
    report.failCount = m_failCount;
    if (outageOver && m_inOutage) {
        m_inOutage = false;
        m_events.outageEnded();
    } else if (!report.answered && !m_inOutage) {
        m_inOutage = true;
        m_events.outageStarted();
    }
    m_events.cycleDone(report);
}

bool PingEngine::RetriesReached() const
{
    // Retries of 0 or below act on the first failing cycle, as 1 does; a text that
    // is no number never acts.
    const std::optional<qint16> retries = WholeNumber16(m_fields.text(Field::FailTries));
    return retries && m_failCount >= *retries;
}

void PingEngine::ActOnOutage()
{
    if (!m_failSent) {
        const qint32 resendMinutes =
            WholeNumber32(m_fields.text(Field::FailResend)).value_or(kFallbackResendMinutes);
        const FailSendDecision decision =
            m_gate ? m_gate->DecideFailSend(resendMinutes) : PlainFailSend(resendMinutes);
        // A send held back stays due: the next failing cycle asks again.
        if (!decision.send) {
            m_log.WriteLog(decision.entry.isEmpty() ? kNoResponse : decision.entry, true, true,
                           kSystemMessage);
            return;
        }
        if (!decision.entry.isEmpty())
            m_log.WriteLog(decision.entry, true, true, kSystemMessage);
        m_failSent = true;
        m_failCommandWent = true;
        // On the monotonic count: a wall clock set back by an hour must not hold the
        // resend back by an hour.
        m_resendAtMs = m_clock.monotonicMs() + decision.resendDelayMs;
        m_log.WriteLog(QStringLiteral("No response after ") + m_fields.text(Field::FailTries) +
                           QStringLiteral(" ping attempts.  Sending fail command.") + decision.note,
                       true, true, kSystemMessage);
        SendFailCommand(CommandKind::Fail);
        m_tip.UpdateTrayTip(QStringLiteral("Corvane (Fail command sent)"));
        return;
    }

    m_log.WriteLog(kNoResponse, true, true, kSystemMessage);
    // Re-armed only: the next failing cycle sends again.
    if (m_clock.monotonicMs() >= m_resendAtMs)
        m_failSent = false;
}

void PingEngine::SendFailCommand(CommandKind kind)
{
    const QString command = m_fields.text(Field::FailCommand);
    m_sender.SendCommand(command);
    m_events.commandSent(kind, command);
}

void PingEngine::SetBlind(bool blind)
{
    if (blind == m_blind)
        return;
    m_blind = blind;
    m_events.watchBlind(blind);
}

qint32 PingEngine::TimeoutMs(Field timeoutField) const
{
    const std::optional<qint32> timeout = WholeNumber32(m_fields.text(timeoutField));
    return timeout && *timeout >= 1 ? *timeout : kFallbackTimeoutMs;
}
