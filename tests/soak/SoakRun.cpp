#include "SoakRun.h"

#include "MemoryUsage.h"
#include "TimeOfDay.h"

#include <QFileInfo>

#include <utility>

namespace {

constexpr qint64 kDayMs = 86'400'000;
constexpr qint64 kTimerMs = 1000;

const QString kPrimary = QStringLiteral("127.0.0.1");
const QString kSecondary = QStringLiteral("127.0.0.2");
constexpr int kRetries = 5;
constexpr int kPeriodSeconds = 10;
constexpr int kTimeoutMs = 1000;
constexpr int kResendMinutes = 3;
constexpr qint64 kResendMs = qint64(kResendMinutes) * 60'000;
const QString kFailCommand = QStringLiteral("^m^m");
const QString kFailSendMessage = QStringLiteral("No response after %1 ping attempts.  Sending "
                                                "fail command.")
                                     .arg(kRetries);
const QString kFailCommandSentTip = QStringLiteral("Corvane (Fail command sent)");

// Across midnight, at noon, and one that moves halfway through the run.
struct SlotSetting
{
    QString command;
    QString time;
};
const std::array<SlotSetting, kScheduleSlots> kSlots = {{
    {QStringLiteral("^m"), QStringLiteral("23:59:45")},
    {QStringLiteral("show clock"), QStringLiteral("12:00:00 AM")},
    {QStringLiteral("write memory^m"), QStringLiteral("12:00:00")},
    {QStringLiteral("show log^m"), QStringLiteral("6:15:00 AM")},
}};
constexpr int kMovedSlot = 3;
const QString kMovedSlotTime = QStringLiteral("7:30:00 PM");
constexpr qint64 kSlotMovedAtMs = 6 * 3'600'000LL;
constexpr qint64 kScheduleWindowMs = 15'000;

// Both time-outs, the fail command and a scheduled send can hold a tick up; the
// next timed cycle is never later than this after the last.
constexpr qint64 kLongestCycleGapMs = kPeriodSeconds * kTimerMs + 5'000;

QStringList SlotCommands()
{
    QStringList commands;
    for (const SlotSetting &slot : kSlots)
        commands.append(slot.command);
    return commands;
}

qint64 TimeOfDayMs(const QString &text)
{
    return ParseTimeOfDay(text).value_or(QTime()).msecsSinceStartOfDay();
}

} // namespace

SoakRun::SoakRun(const QString &folder, quint32 seed)
    : m_logPath(folder + QStringLiteral("/corvane.log")), m_random(seed),
      m_clock(QDateTime(QDate(2026, 3, 1), QTime(0, 0), Qt::UTC)), m_store(folder),
      m_logTap(m_eventLog, m_clock, SlotCommands()), m_echo(m_clock, kPrimary),
      m_follower(m_logPath, kFailSendMessage, SlotCommands())
{
    m_fields.setText(Field::AddrPri, kPrimary);
    m_fields.setText(Field::AddrSec, kSecondary);
    m_fields.setText(Field::TimeoutPri, QString::number(kTimeoutMs));
    m_fields.setText(Field::TimeoutSec, QString::number(kTimeoutMs));
    m_fields.setText(Field::Period, QString::number(kPeriodSeconds));
    m_fields.setText(Field::FailCommand, kFailCommand);
    m_fields.setText(Field::FailPort, QStringLiteral("1"));
    m_fields.setText(Field::FailTries, QString::number(kRetries));
    m_fields.setText(Field::FailResend, QString::number(kResendMinutes));
    m_fields.setText(Field::FailLog, m_logPath);
    for (int slot = 0; slot < kScheduleSlots; ++slot) {
        m_fields.setText(SchedCmdField(slot), kSlots[slot].command);
        m_schedule.SchedCmdChange(slot);
        m_fields.setText(SchedTimeField(slot), kSlots[slot].time);
        m_schedule.SetScheduleTime(slot, kSlots[slot].time);
        m_slotTimeMs[slot] = TimeOfDayMs(kSlots[slot].time);
    }
    m_meter.setMaximum(kRetries);
    m_engine.SetPingPeriod(kPeriodSeconds);
    if (m_link.OpenCommPort())
        Fail(QStringLiteral("the port did not open"));
}

void SoakRun::run(int days)
{
    m_figures.days = days;
    const qint64 startMs = NowMs();
    const qint64 endMs = startMs + days * kDayMs;
    m_slotChangeMs = startMs + (days / 2) * kDayMs + kSlotMovedAtMs;
    m_nextOutageMs = startMs + 600'000 + m_random.bounded(3'600'000);
    m_lastCycleMs = startMs;

    // Both timers start with the window. A timer that falls due while a handler
    // blocks fires once when the handler returns, and the ticks it missed are lost.
    qint64 timer1DueMs = startMs + kTimerMs;
    qint64 timerCommDueMs = startMs + kTimerMs;
    int day = 0;
    while (m_failure.isEmpty()) {
        const bool timer1Next = timer1DueMs <= timerCommDueMs;
        qint64 &dueMs = timer1Next ? timer1DueMs : timerCommDueMs;
        if (dueMs >= endMs)
            break;
        if (NowMs() < dueMs)
            m_clock.advanceMs(dueMs - NowMs());
        const qint64 firedAtMs = NowMs();
        for (const int today = int((firedAtMs - startMs) / kDayMs); day < today; ++day)
            EndDay(day);
        if (!m_failure.isEmpty())
            break;

        if (timer1Next)
            Timer1Tick(firedAtMs);
        else
            TimerCommTick();
        dueMs += kTimerMs;
        if (dueMs < firedAtMs)
            dueMs = firedAtMs + kTimerMs;
    }
    if (!m_failure.isEmpty())
        return;
    EndDay(day);

    m_figures.lostTicks = days * kDayMs / kTimerMs - m_figures.ticks;
    m_follower.finish();
    const LogFollower::Counts &logged = m_follower.counts();
    m_figures.consoleBytesLogged = logged.consoleBytes;
    m_figures.logBytes = QFileInfo(m_logPath).size();
    if (!m_follower.failure().isEmpty()) {
        Fail(m_follower.failure());
        return;
    }
    if (logged.failSends != m_figures.failSends || logged.noResponses != m_figures.noResponses ||
        logged.scheduledSends != m_figures.scheduledSends)
        Fail(QStringLiteral("the log file holds other entries than were written"));
    if (m_settings.GetValue(SettingsSection, QStringLiteral("SchedTime%1").arg(kMovedSlot)) !=
        m_fields.text(SchedTimeField(kMovedSlot)))
        Fail(QStringLiteral("the moved slot's time was not kept"));
}

void SoakRun::PlanNetwork(qint64 nowMs)
{
    if (m_inOutage && nowMs >= m_outageEndsMs) {
        m_inOutage = false;
        m_echo.reach = OutageEcho::Reach::Both;
        m_nextOutageMs = nowMs + 300'000 + m_random.bounded(6 * 3'600'000);
    }
    if (m_inOutage || nowMs < m_nextOutageMs)
        return;

    m_inOutage = true;
    // Mostly the whole line is down; sometimes only the primary's side.
    if (m_random.bounded(4) == 0) {
        m_echo.reach = OutageEcho::Reach::SecondaryOnly;
        ++m_figures.primaryOutages;
    } else {
        m_echo.reach = OutageEcho::Reach::Neither;
        ++m_figures.outages;
    }
    // Blips too short to act on, outages of minutes, and long ones of hours.
    const int kind = m_random.bounded(4);
    const qint64 lengthMs = kind == 0   ? 5'000 + m_random.bounded(55'000)
                            : kind == 3 ? 1'200'000 + m_random.bounded(7'800'000)
                                        : 60'000 + m_random.bounded(1'140'000);
    m_outageEndsMs = nowMs + lengthMs;
}

void SoakRun::Timer1Tick(qint64 firedAtMs)
{
    PlanNetwork(firedAtMs);
    if (!m_slotChanged && firedAtMs >= m_slotChangeMs) {
        m_slotChanged = true;
        m_fields.setText(SchedTimeField(kMovedSlot), kMovedSlotTime);
        if (!m_schedule.SchedTimeValidate(kMovedSlot))
            Fail(QStringLiteral("the new time of slot %1 was refused").arg(kMovedSlot));
        m_slotTimeMs[kMovedSlot] = TimeOfDayMs(kMovedSlotTime);
    }

    const qint16 failCountBefore = m_engine.FailCount();
    const OutageEcho::Reach reach = m_echo.reach;
    m_engine.Timer1Tick();
    ++m_figures.ticks;
    CheckTick(firedAtMs, failCountBefore, reach);
}

void SoakRun::TimerCommTick()
{
    m_port.chatter();
    m_link.PollReceive();
    ++m_figures.polls;
    if (!m_boxes.shown.isEmpty())
        Fail(QStringLiteral("a \"%1\" box: %2")
                 .arg(m_boxes.shown.first().title, m_boxes.shown.first().text));
}

void SoakRun::CheckTick(qint64 firedAtMs, qint16 failCountBefore, OutageEcho::Reach reach)
{
    const qint16 failCount = m_engine.FailCount();
    if (failCount < 0 || failCount > m_meter.maximum() || m_meter.value() != failCount)
        Fail(QStringLiteral("FailCount %1 with the meter at %2 of %3")
                 .arg(failCount)
                 .arg(m_meter.value())
                 .arg(m_meter.maximum()));

    // A timed cycle resets the tick count.
    const bool cycleRan = m_engine.TickCount() == 0;
    if (cycleRan) {
        ++m_figures.cycles;
        const qint16 expected = reach == OutageEcho::Reach::Neither
                                    ? qint16(qMin(failCountBefore + 1, kRetries))
                                    : qint16(0);
        if (failCount != expected)
            Fail(QStringLiteral("FailCount %1 after a cycle, %2 expected")
                     .arg(failCount)
                     .arg(expected));
        m_lastCycleMs = firedAtMs;
    } else if (firedAtMs - m_lastCycleMs > kLongestCycleGapMs) {
        Fail(QStringLiteral("no timed cycle for %1 ms").arg(firedAtMs - m_lastCycleMs));
    }

    if (!m_boxes.shown.isEmpty())
        Fail(QStringLiteral("a \"%1\" box: %2")
                 .arg(m_boxes.shown.first().title, m_boxes.shown.first().text));
    if (m_logTap.tick.unknown > 0)
        Fail(QStringLiteral("an entry of unknown kind"));
    if (m_port.written != m_sendTap.expected)
        Fail(QStringLiteral("%1 bytes went to the port for commands of %2 bytes")
                 .arg(m_port.written.size())
                 .arg(m_sendTap.expected.size()));

    CheckScheduledSends(firedAtMs);
    CheckOutageEntries(cycleRan, failCountBefore);

    m_port.written.clear();
    m_sendTap.expected.clear();
    m_pause.pauses.clear();
    m_tray.tips.clear();
    m_logTap.tick = {};
}

void SoakRun::CheckScheduledSends(qint64 firedAtMs)
{
    const qint64 timeOfDayMs = firedAtMs % kDayMs;
    for (int slot = 0; slot < kScheduleSlots; ++slot) {
        const int sends = m_logTap.tick.scheduled[slot];
        if (sends == 0)
            continue;
        m_sentToday[slot] += sends;
        m_figures.scheduledSends += sends;
        if (m_sentToday[slot] > 1)
            Fail(QStringLiteral("slot %1 sent %2 times in a day").arg(slot).arg(m_sentToday[slot]));
        if (timeOfDayMs < m_slotTimeMs[slot] ||
            timeOfDayMs > m_slotTimeMs[slot] + kScheduleWindowMs)
            Fail(QStringLiteral("slot %1 sent at %2")
                     .arg(slot)
                     .arg(QTime::fromMSecsSinceStartOfDay(int(timeOfDayMs)).toString()));
    }
}

void SoakRun::CheckOutageEntries(bool cycleRan, qint16 failCountBefore)
{
    const LogTap::Tick &tick = m_logTap.tick;
    const qint16 failCount = m_engine.FailCount();
    const int entries = tick.failSends + tick.noResponses;
    // Every cycle at the threshold writes one entry: the send, or that the outage goes on.
    if (entries != (cycleRan && failCount >= kRetries ? 1 : 0))
        Fail(QStringLiteral("%1 outage entries in a tick with FailCount %2")
                 .arg(entries)
                 .arg(failCount));
    if (cycleRan && failCountBefore < kRetries && failCount >= kRetries && tick.failSends != 1)
        Fail(QStringLiteral("the retries were reached without a send"));
    m_figures.noResponses += tick.noResponses;

    if (failCount == 0) {
        m_lastFailSendMs = -1;
        m_lastOutageEntryMs = -1;
        m_longestEntryGapMs = 0;
    }
    if (entries == 1) {
        if (m_lastOutageEntryMs >= 0)
            m_longestEntryGapMs =
                qMax(m_longestEntryGapMs, tick.outageEntryMs - m_lastOutageEntryMs);
        m_lastOutageEntryMs = tick.outageEntryMs;
    }

    if (tick.failSends == 1) {
        ++m_figures.failSends;
        if (m_tray.tips.isEmpty() || m_tray.tips.last() != kFailCommandSentTip)
            Fail(QStringLiteral("the tip does not say the command was sent"));
        // The send re-arms in the first cycle at or after the resend time and goes in
        // the next one: at most two cycles late.
        if (m_lastFailSendMs >= 0) {
            const qint64 intervalMs = tick.outageEntryMs - m_lastFailSendMs;
            if (intervalMs < kResendMs || intervalMs > kResendMs + 2 * m_longestEntryGapMs)
                Fail(QStringLiteral("resent after %1 ms, cycles up to %2 ms apart")
                         .arg(intervalMs)
                         .arg(m_longestEntryGapMs));
        }
        m_lastFailSendMs = tick.outageEntryMs;
    } else if (m_lastFailSendMs >= 0 && failCount >= kRetries &&
               NowMs() - m_lastFailSendMs > kResendMs + 2 * kLongestCycleGapMs) {
        Fail(QStringLiteral("no resend %1 ms after the last send").arg(NowMs() - m_lastFailSendMs));
    }
}

void SoakRun::EndDay(int day)
{
    for (int slot = 0; slot < kScheduleSlots; ++slot) {
        if (m_sentToday[slot] != 1)
            Fail(QStringLiteral("slot %1 sent %2 times on day %3")
                     .arg(slot)
                     .arg(m_sentToday[slot])
                     .arg(day + 1));
    }
    m_sentToday = {};

    m_figures.consoleBursts = m_port.bursts;
    m_figures.consoleBytesReceived += m_port.delivered.size();
    m_follower.follow(std::exchange(m_port.delivered, {}));
    if (!m_follower.failure().isEmpty())
        Fail(m_follower.failure());

    if (day == 0) {
        m_figures.heapAtStart = HeapBytesInUse();
        m_figures.residentAtStart = ResidentBytes();
    }
    m_figures.heapAtEnd = HeapBytesInUse();
    m_figures.residentAtEnd = ResidentBytes();
}

void SoakRun::Fail(const QString &what)
{
    if (m_failure.isEmpty())
        m_failure = QStringLiteral("%1: %2").arg(m_clock.now().toString(Qt::ISODateWithMs), what);
}
