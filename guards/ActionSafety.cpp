#include "ActionSafety.h"

#include <utility>

ActionSafety::ActionSafety(TrayTip &tray, std::function<QString()> shownTip, LogWriter &log,
                           const Clock &clock)
    : m_log(log), m_pause(tray, std::move(shownTip), log, clock), m_quality(m_options, log),
      m_policy(m_options, m_pause, clock, m_quality), m_ackWatcher(m_options, log, clock),
      m_wakeWatch(m_options, clock, log, [this] { m_policy.SystemWokeUp(); })
{
    m_policy.GuardOwnLinkWith(m_ownLink);
}

void ActionSafety::Load(Settings &settings, MessageBoxes &boxes)
{
    m_options = LoadOptions(settings, m_log, boxes);
}

void ActionSafety::Tick()
{
    if (m_stopped)
        return;
    m_wakeWatch.Tick();
    m_ackWatcher.Tick();
    m_pause.Tick();
}

void ActionSafety::PrepareForSleep(bool sleeping)
{
    if (!m_stopped)
        m_wakeWatch.PrepareForSleep(sleeping);
}

void ActionSafety::commandSent(CommandKind kind, const QString &command)
{
    m_ackWatcher.commandSent(kind, command);
}

void ActionSafety::watchStopped()
{
    m_stopped = true;
    m_ackWatcher.watchStopped();
}
