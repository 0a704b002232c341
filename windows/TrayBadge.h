#pragma once

#include "WatchEvents.h"

#include <QIcon>

#include <functional>

// How the line stands, as the corner of the tray icon shows it.
enum class BadgeState
{
    None,    // all is well
    Failing, // cycles fail, no fail command has gone yet
    Acted,   // the fail command went to the router in this outage
    Paused,  // actions are paused, whatever the line does
    Blind,   // no echo can be sent, so nothing is known of the line
};

// The icon with a small dot in its lower right corner in the colour of the state;
// the icon itself when all is well.
QIcon BadgedIcon(const QIcon &icon, BadgeState state);

// Follows the watch and the pause, and tells onChanged each time the state the
// badge should show changes. Turned off, it always shows none.
class TrayBadge final : public WatchEvents
{
public:
    explicit TrayBadge(std::function<void(BadgeState)> onChanged);

    void setEnabled(bool enabled);
    void setPaused(bool paused);
    BadgeState state() const;

    void cycleDone(const CycleReport &report) override;
    void commandSent(CommandKind kind, const QString &command) override;
    void watchBlind(bool blind) override;

private:
    void Tell();

    std::function<void(BadgeState)> m_onChanged;
    bool m_enabled = true;
    bool m_paused = false;
    bool m_blind = false;
    // The line as the watch last told it, beneath any pause.
    BadgeState m_line = BadgeState::None;
    BadgeState m_told = BadgeState::None;
};
