#include "ServiceNotifier.h"

#include "Clock.h"
#include "DurationText.h"

#include <utility>

namespace {

QString ProbeText(const char *which, const ProbeReport &probe, bool answered)
{
    return answered ? QStringLiteral("%1 %2 ms").arg(QLatin1String(which)).arg(probe.roundTripMs)
                    : QStringLiteral("%1 no answer").arg(QLatin1String(which));
}

} // namespace

ServiceNotifier::ServiceNotifier(const Clock &clock, StateSender send,
                                 std::chrono::microseconds watchdogTime, WatchProgress waitsWoken)
    : m_clock(clock), m_send(std::move(send)), m_watchdogTime(watchdogTime),
      m_waitsWoken(std::move(waitsWoken))
{
}

ServiceNotifier::~ServiceNotifier() = default;

std::uint64_t ServiceNotifier::progress() const
{
    return m_ticks.load(std::memory_order_relaxed) + (m_waitsWoken ? m_waitsWoken() : 0);
}

void ServiceNotifier::watchStarted()
{
    if (m_ready || m_stopping)
        return;
    // The watch's timer runs from here on; its first cycle may take a while.
    m_ready = true;
    m_send(QByteArrayLiteral("READY=1"));
    SendStatus();
    if (m_watchdogTime.count() > 0)
        m_feeder = std::make_unique<WatchdogFeeder>(
            m_watchdogTime, [this] { return progress(); }, m_send);
}

void ServiceNotifier::watchTicked()
{
    m_ticks.fetch_add(1, std::memory_order_relaxed);
}

void ServiceNotifier::cycleDone(const CycleReport &report)
{
    m_failingCycles = report.answered ? 0 : m_failingCycles + 1;
    m_lastCycle = report;
    SendStatus();
}

void ServiceNotifier::commandSent(CommandKind kind, const QString &)
{
    if (kind != CommandKind::Fail)
        return;
    m_lastFailMs = m_clock.monotonicMs();
    SendStatus();
}

void ServiceNotifier::watchStopping()
{
    // No ping after the stop's word: the manager's stop time-out takes over.
    if (m_feeder)
        m_feeder->stop();
    m_stopping = true;
    m_send(QByteArrayLiteral("STOPPING=1\nSTATUS=Stopping."));
}

void ServiceNotifier::SendStatus()
{
    if (m_stopping || !m_ready)
        return;
    QStringList parts;
    if (!m_lastCycle) {
        parts << QStringLiteral("no cycle yet");
    } else {
        // The secondary was probed only when the primary did not answer.
        const bool primaryAnswered = m_lastCycle->answered && !m_lastCycle->secondary;
        parts << ProbeText("primary", m_lastCycle->primary, primaryAnswered);
        if (m_lastCycle->secondary)
            parts << ProbeText("secondary", *m_lastCycle->secondary, m_lastCycle->answered);
    }
    parts << (m_failingCycles == 1 ? QStringLiteral("1 failing cycle")
                                   : QStringLiteral("%1 failing cycles").arg(m_failingCycles));
    parts << (m_lastFailMs ? QStringLiteral("last fail command %1 ago")
                                 .arg(DurationText(m_clock.monotonicMs() - *m_lastFailMs))
                           : QStringLiteral("no fail command yet"));
    m_send("STATUS=" + parts.join(QStringLiteral("; ")).toUtf8());
}
