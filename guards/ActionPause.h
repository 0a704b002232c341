#pragma once

#include "TrayTip.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

class Clock;
class LogWriter;

// "I'm working on the line": for an hour no fail command goes out, while cycles run,
// show, count and log as always. The tip says so; the watch's own tips wait behind
// it and the latest comes back when the pause ends. A pause lives in memory only, so
// a restart always watches with its actions on.
class ActionPause final : public TrayTip
{
public:
    // shownTip tells the tip the tray shows, to put back at the end of a pause that
    // saw no tip of the watch's own.
    ActionPause(TrayTip &tray, std::function<QString()> shownTip, LogWriter &log,
                const Clock &clock);

    void PauseForOneHour();
    void Resume();
    // On a tick: ends a pause whose hour is over.
    void Tick();
    // On the monotonic count, so that a wall clock set back cannot stretch a pause.
    bool isPaused() const;
    // The wall-clock time the pause ends, as HH:MM.
    QString UntilText() const { return m_untilText; }

    // The watch's tips pass through here.
    void UpdateTrayTip(const QString &text) override;

    // A pause began or ended, so that the menus can offer the other item.
    std::function<void()> onChanged;

private:
    void End(const QString &entry);

    TrayTip &m_tray;
    std::function<QString()> m_shownTip;
    LogWriter &m_log;
    const Clock &m_clock;
    std::optional<qint64> m_untilMs;
    QString m_untilText;
    // The tip the watch wants, shown again when the pause ends.
    QString m_tipBehindPause;
};
