#pragma once

#include "ActionGate.h"
#include "WatchEvents.h"

#include <QString>
#include <QtGlobal>

#include <optional>

class ActionPause;
class Clock;
class LineQuality;
class OwnLinkGuard;
struct Options;

// Decides over each fail-command send by the options: none during the start grace, the
// grace after waking up or a pause (the send then stays due for the next failing cycle), none
// beyond the limit per outage, and a resend delay that grows by the back-off up to its cap. Why a
// send was held back is logged once, in place of the cycle's usual entry, and again only when the
// reason changes; the count and the reasons start afresh when an address answers.
class ActionPolicy final : public ActionGate, public WatchEvents
{
public:
    // Reads the options at every decision, so that a change in the window counts at
    // once.
    ActionPolicy(const Options &options, const ActionPause &pause, const Clock &clock,
                 LineQuality &quality);

    FailSendDecision DecideFailSend(qint32 resendMinutes) override;
    qint32 CyclesToRecover() const override;
    qint32 EchoesPerAddress() const override;
    AddressJudgement JudgeAddress(ProbedAddress which, const ProbeReport &probe,
                                  bool inOutage) override;
    qint32 PeriodDuringOutage(qint32 period) const override;

    // The grace counts from the start of the watch.
    void watchStarted() override;
    void outageEnded() override;
    // The grace after waking up counts from here.
    void SystemWokeUp();
    // Asked last before each send, when the options say so: our own link must be up.
    void GuardOwnLinkWith(OwnLinkGuard &guard) { m_ownLink = &guard; }

private:
    // A grace in force holds the send back, with the longer one's reason.
    std::optional<FailSendDecision> HoldForGrace();
    FailSendDecision HoldBack(const QString &reason);
    // The delay after the send numbered sendNumber in this outage, and what the
    // send's entry says about it.
    qint64 ResendDelayMs(qint32 resendMinutes, int sendNumber, QString &note) const;

    const Options &m_options;
    const ActionPause &m_pause;
    const Clock &m_clock;
    LineQuality &m_quality;
    qint64 m_startedMs;
    int m_sentThisOutage = 0;
    // On the monotonic count, from the last resume noticed.
    std::optional<qint64> m_wokeMs;
    // A send fell due during a grace and has not gone yet: the entry that tells, with
    // that send, which grace is over. Empty: none.
    QString m_graceOverEntry;
    QString m_toldReason;
    OwnLinkGuard *m_ownLink = nullptr;
};
