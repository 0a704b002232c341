#include "ServiceNotifier.h"

#include "Clock.h"
#include "DurationText.h"

#include <utility>

namespace {

// A fail command goes out character by character, with pauses; a long one takes a
// while.
constexpr qint64 kSendRoomMs = 30'000;

QString ProbeText(const char *which, const ProbeReport &probe, bool answered)
{
    return answered ? QStringLiteral("%1 %2 ms").arg(QLatin1String(which)).arg(probe.roundTripMs)
                    : QStringLiteral("%1 no answer").arg(QLatin1String(which));
}

} // namespace

ServiceNotifier::ServiceNotifier(const Clock &clock, std::function<void(const QByteArray &)> notify,
                                 qint64 watchdogUs, std::function<qint64()> longestCycleMs)
    : m_clock(clock), m_notify(std::move(notify)), m_watchdogUs(watchdogUs),
      m_longestCycleMs(std::move(longestCycleMs))
{
}

void ServiceNotifier::watchTicked()
{
    if (m_stopping)
        return;
    if (!m_ready) {
        m_ready = true;
        m_notify(QByteArrayLiteral("READY=1"));
        SendStatus();
    }
    // Time-outs long enough to hold a cycle past the watchdog would have a healthy
    // watch killed: the watchdog time grows to twice the longest cycle, with room for
    // a fail command's send. It never shrinks below the unit's.
    if (m_watchdogUs > 0 && m_longestCycleMs) {
        const qint64 neededUs = (2 * m_longestCycleMs() + kSendRoomMs) * 1000;
        if (neededUs > m_watchdogUs) {
            m_watchdogUs = neededUs;
            m_notify("WATCHDOG_USEC=" + QByteArray::number(neededUs));
        }
    }
    m_notify(QByteArrayLiteral("WATCHDOG=1"));
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
    m_stopping = true;
    m_notify(QByteArrayLiteral("STOPPING=1\nSTATUS=Stopping."));
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
    m_notify("STATUS=" + parts.join(QStringLiteral("; ")).toUtf8());
}
