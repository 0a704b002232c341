#include "ActionPause.h"

#include "Clock.h"
#include "LogWriter.h"

#include <utility>

namespace {

constexpr qint64 kPauseMs = qint64{60} * 60 * 1000;

} // namespace

ActionPause::ActionPause(TrayTip &tray, std::function<QString()> shownTip, LogWriter &log,
                         const Clock &clock)
    : m_tray(tray), m_shownTip(std::move(shownTip)), m_log(log), m_clock(clock)
{
}

void ActionPause::PauseForOneHour()
{
    if (!m_untilMs)
        m_tipBehindPause = m_shownTip();
    m_untilMs = m_clock.monotonicMs() + kPauseMs;
    m_untilText = m_clock.now().addMSecs(kPauseMs).toString(QStringLiteral("HH:mm"));
    m_log.WriteLog(QStringLiteral("Actions paused until %1.").arg(m_untilText), true, true,
                   kSystemMessage);
    m_tray.UpdateTrayTip(QStringLiteral("Corvane (paused until %1)").arg(m_untilText));
    if (onChanged)
        onChanged();
}

void ActionPause::Resume()
{
    if (m_untilMs)
        End(QStringLiteral("Actions resumed."));
}

void ActionPause::Tick()
{
    if (m_untilMs && !isPaused())
        End(QStringLiteral("Pause over; actions resumed."));
}

bool ActionPause::isPaused() const
{
    return m_untilMs && m_clock.monotonicMs() < *m_untilMs;
}

void ActionPause::UpdateTrayTip(const QString &text)
{
    if (m_untilMs)
        m_tipBehindPause = text;
    else
        m_tray.UpdateTrayTip(text);
}

void ActionPause::End(const QString &entry)
{
    m_untilMs.reset();
    m_untilText.clear();
    m_log.WriteLog(entry, true, true, kSystemMessage);
    m_tray.UpdateTrayTip(m_tipBehindPause);
    if (onChanged)
        onChanged();
}
