#pragma once

#include "AckWatcher.h"
#include "ActionPause.h"
#include "ActionPolicy.h"
#include "LineQuality.h"
#include "Options.h"
#include "OwnLinkGuard.h"
#include "WakeWatch.h"
#include "WatchEvents.h"

#include <functional>

class Clock;
class LogWriter;
class MessageBoxes;
class Settings;
class TrayTip;

// The options and the parts that act on them, as the program holds them: loaded at
// start-up, changed through the Options window, told what the watch does, and ticked
// after each receive poll. Nothing it does is logged after the stop line.
class ActionSafety final : public WatchEvents
{
public:
    // The watch's tips go through pause() to tray; shownTip tells what tray shows.
    ActionSafety(TrayTip &tray, std::function<QString()> shownTip, LogWriter &log,
                 const Clock &clock);

    void Load(Settings &settings, MessageBoxes &boxes);
    // After the receive poll of the same tick.
    void Tick();
    // logind: the machine is about to sleep (true) or has just woken up (false).
    void PrepareForSleep(bool sleeping);

    Options &options() { return m_options; }
    ActionPause &pause() { return m_pause; }
    ActionGate &gate() { return m_policy; }
    const AckWatcher &ackWatcher() const { return m_ackWatcher; }
    // Where the acknowledgement verdicts go, besides the log.
    void reportVerdictsTo(WatchEvents &events) { m_ackWatcher.reportVerdictsTo(events); }
    // What tells whether our own link is up; none: a send never waits for it.
    void readOwnLinkWith(OwnLinkReader &reader) { m_ownLink.ReadWith(reader); }

    void watchStarted() override { m_policy.watchStarted(); }
    void cycleDone(const CycleReport &report) override
    {
        m_quality.cycleDone(report);
        m_ownLink.cycleDone(report);
    }
    void outageEnded() override
    {
        m_quality.outageEnded();
        m_policy.outageEnded();
    }
    void commandSent(CommandKind kind, const QString &command) override;
    void consoleReceived(const QByteArray &bytes) override { m_ackWatcher.consoleReceived(bytes); }
    void watchStopped() override;

private:
    LogWriter &m_log;
    Options m_options;
    ActionPause m_pause;
    LineQuality m_quality;
    OwnLinkGuard m_ownLink;
    ActionPolicy m_policy;
    AckWatcher m_ackWatcher;
    WakeWatch m_wakeWatch;
    bool m_stopped = false;
};
