#include "ActionPolicy.h"

#include "ActionPause.h"
#include "Clock.h"
#include "Options.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 kMinuteMs = 60'000;
// Without a cap the back-off would soon overflow; no delay it grows ever needs to be
// longer than a year.
constexpr double kLongestDelayMinutes = 366.0 * 24 * 60;

} // namespace

ActionPolicy::ActionPolicy(const Options &options, const ActionPause &pause, const Clock &clock)
    : m_options(options), m_pause(pause), m_clock(clock), m_startedMs(clock.monotonicMs())
{
}

void ActionPolicy::watchStarted()
{
    m_startedMs = m_clock.monotonicMs();
}

void ActionPolicy::outageEnded()
{
    m_sentThisOutage = 0;
    m_heldByGrace = false;
    m_toldReason.clear();
}

FailSendDecision ActionPolicy::DecideFailSend(qint32 resendMinutes)
{
    const qint64 graceLeftMs =
        m_startedMs + qint64(m_options.graceSeconds) * 1000 - m_clock.monotonicMs();
    if (graceLeftMs > 0) {
        m_heldByGrace = true;
        return HoldBack(
            QStringLiteral("Fail command not sent: the start grace lasts until %1.")
                .arg(m_clock.now().addMSecs(graceLeftMs).toString(QStringLiteral("HH:mm:ss"))));
    }
    if (m_pause.isPaused())
        return HoldBack(QStringLiteral("Fail command not sent: actions are paused until %1.")
                            .arg(m_pause.UntilText()));
    const int limit = m_options.maxSendsPerOutage;
    if (limit > 0 && m_sentThisOutage >= limit)
        return HoldBack(
            QStringLiteral("Fail command not sent: the limit of %1 per outage is reached.")
                .arg(limit));

    FailSendDecision decision;
    ++m_sentThisOutage;
    if (limit > 0)
        decision.note = QStringLiteral("  Send %1 of %2.").arg(m_sentThisOutage).arg(limit);
    // The last send allowed has no resend for its delay to tell of.
    QString delayNote;
    decision.resendDelayMs = ResendDelayMs(resendMinutes, m_sentThisOutage, delayNote);
    if (limit == 0 || m_sentThisOutage < limit)
        decision.note += delayNote;
    if (m_heldByGrace) {
        m_heldByGrace = false;
        decision.entry = QStringLiteral("Start grace over; the outage continues.");
    }
    return decision;
}

qint32 ActionPolicy::CyclesToRecover() const
{
    return m_options.recoverCycles;
}

qint32 ActionPolicy::EchoesPerAddress() const
{
    return m_options.echoesPerAddress;
}

FailSendDecision ActionPolicy::HoldBack(const QString &reason)
{
    FailSendDecision decision;
    decision.send = false;
    if (reason != m_toldReason) {
        m_toldReason = reason;
        decision.entry = reason;
    }
    return decision;
}

qint64 ActionPolicy::ResendDelayMs(qint32 resendMinutes, int sendNumber, QString &note) const
{
    const double grown = std::min(resendMinutes * std::pow(m_options.resendBackoff, sendNumber - 1),
                                  std::max<double>(kLongestDelayMinutes, resendMinutes));
    // The cap bounds the growth only: it never cuts the delay the user typed.
    const qint32 cap = m_options.maxResendMinutes;
    const bool capped = cap > 0 && grown > std::max(cap, resendMinutes);
    const double minutes = capped ? cap : grown;
    if (minutes > resendMinutes) {
        note = QStringLiteral("  Resend delay grown by the back-off to %1 minutes%2.")
                   .arg(QString::number(minutes, 'g', 15),
                        capped ? QStringLiteral(", its maximum") : QString());
    }
    return std::llround(minutes * kMinuteMs);
}
