#pragma once

#include "ActionGate.h"
#include "WatchEvents.h"

#include <QString>
#include <QtGlobal>

class ActionPause;
class Clock;
struct Options;

// Decides over each fail-command send by the options: none during the start grace or
// a pause (the send then stays due for the next failing cycle), none beyond the
// limit per outage, and a resend delay that grows by the back-off up to its cap.
// Why a send was held back is logged once, in place of the cycle's usual entry, and
// again only when the reason changes; the count and the reasons start afresh when an
// address answers.
class ActionPolicy final : public ActionGate, public WatchEvents
{
public:
    // Reads the options at every decision, so that a change in the window counts at
    // once.
    ActionPolicy(const Options &options, const ActionPause &pause, const Clock &clock);

    FailSendDecision DecideFailSend(qint32 resendMinutes) override;
    qint32 CyclesToRecover() const override;
    qint32 EchoesPerAddress() const override;

    // The grace counts from the start of the watch.
    void watchStarted() override;
    void outageEnded() override;

private:
    FailSendDecision HoldBack(const QString &reason);
    // The delay after the send numbered sendNumber in this outage, and what the
    // send's entry says about it.
    qint64 ResendDelayMs(qint32 resendMinutes, int sendNumber, QString &note) const;

    const Options &m_options;
    const ActionPause &m_pause;
    const Clock &m_clock;
    qint64 m_startedMs;
    int m_sentThisOutage = 0;
    // A send fell due during the grace and has not gone yet.
    bool m_heldByGrace = false;
    QString m_toldReason;
};
