#include "ActionPolicy.h"

#include "ActionPause.h"
#include "Clock.h"
#include "LineQuality.h"
#include "Options.h"
#include "OwnLinkGuard.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr qint64 kMinuteMs = 60'000;
// Without a cap the back-off would soon overflow; no delay it grows ever needs to be
// longer than a year.
constexpr double kLongestDelayMinutes = 366.0 * 24 * 60;

} // namespace

ActionPolicy::ActionPolicy(const Options &options, const ActionPause &pause, const Clock &clock,
                           LineQuality &quality)
    : m_options(options), m_pause(pause), m_clock(clock), m_quality(quality),
      m_startedMs(clock.monotonicMs())
{
}

void ActionPolicy::watchStarted()
{
    m_startedMs = m_clock.monotonicMs();
}

void ActionPolicy::outageEnded()
{
    m_sentThisOutage = 0;
    m_graceOverEntry.clear();
    m_toldReason.clear();
}

void ActionPolicy::SystemWokeUp()
{
    m_wokeMs = m_clock.monotonicMs();
}

std::optional<FailSendDecision> ActionPolicy::HoldForGrace()
{
    const qint64 nowMs = m_clock.monotonicMs();
    const qint64 startLeftMs = m_startedMs + qint64(m_options.graceSeconds) * 1000 - nowMs;
    const qint64 wakeLeftMs =
        m_wokeMs ? *m_wokeMs + qint64(m_options.resumeGraceSeconds) * 1000 - nowMs : 0;
    if (startLeftMs <= 0 && wakeLeftMs <= 0)
        return std::nullopt;
    const bool afterWaking = wakeLeftMs > startLeftMs;
    m_graceOverEntry = afterWaking
                           ? QStringLiteral("Grace after waking up over; the outage continues.")
                           : QStringLiteral("Start grace over; the outage continues.");
    return HoldBack(QStringLiteral("Fail command not sent: %1 lasts until %2.")
                        .arg(afterWaking ? QStringLiteral("the grace after waking up")
                                         : QStringLiteral("the start grace"),
                             m_clock.now()
                                 .addMSecs(std::max(startLeftMs, wakeLeftMs))
                                 .toString(QStringLiteral("HH:mm:ss"))));
}

FailSendDecision ActionPolicy::DecideFailSend(qint32 resendMinutes)
{
    if (std::optional<FailSendDecision> held = HoldForGrace())
        return *held;
    if (m_pause.isPaused())
        return HoldBack(QStringLiteral("Fail command not sent: actions are paused until %1.")
                            .arg(m_pause.UntilText()));
    const int limit = m_options.maxSendsPerOutage;
    if (limit > 0 && m_sentThisOutage >= limit)
        return HoldBack(
            QStringLiteral("Fail command not sent: the limit of %1 per outage is reached.")
                .arg(limit));
    // Read last, so that the kernel is asked only about a send that would go.
    OwnLinkVerdict ownLink;
    if (m_options.ownLinkGuard && m_ownLink != nullptr) {
        ownLink = m_ownLink->Judge(m_options.interfaceName);
        if (!ownLink.holdReason.isEmpty())
            return HoldBack(ownLink.holdReason);
    }

    FailSendDecision decision;
    ++m_sentThisOutage;
    if (limit > 0)
        decision.note = QStringLiteral("  Send %1 of %2.").arg(m_sentThisOutage).arg(limit);
    // The last send allowed has no resend for its delay to tell of.
    QString delayNote;
    decision.resendDelayMs = ResendDelayMs(resendMinutes, m_sentThisOutage, delayNote);
    if (limit == 0 || m_sentThisOutage < limit)
        decision.note += delayNote;
    decision.note += ownLink.note;
    decision.entry = std::exchange(m_graceOverEntry, QString());
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

AddressJudgement ActionPolicy::JudgeAddress(ProbedAddress which, const ProbeReport &probe,
                                            bool inOutage)
{
    return m_quality.Judge(which, probe, inOutage);
}

qint32 ActionPolicy::PeriodDuringOutage(qint32 period) const
{
    // Meant to confirm sooner: a longer one would only delay the retries.
    return m_options.failingPeriod > 0 ? std::min(m_options.failingPeriod, period) : period;
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
