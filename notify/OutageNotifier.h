#pragma once

#include "OutageSpan.h"
#include "WatchEvents.h"

class Clock;
class DesktopNotifications;
class Tray;
struct NotificationPlace;

// Tells the user when the line goes down, when the fail command goes to the router
// and when the line is back: through the desktop's notification service where there
// is one, else in a balloon at the tray icon. A notification passes by on its own: it
// is never a box and never waits, since the watch must go on under it. With neither
// (headless) nothing is shown.
class OutageNotifier final : public WatchEvents
{
public:
    OutageNotifier(Tray &tray, const Clock &clock);

    // [Options] Notify=0 turns them off.
    void setEnabled(bool enabled) { m_enabled = enabled; }
    // The desktop's notification service, preferred to the tray's balloons; none
    // leaves the balloons alone.
    void setDesktopNotifications(DesktopNotifications *desktop) { m_desktop = desktop; }

    void outageStarted() override;
    void outageEnded() override;
    void cycleDone(const CycleReport &report) override;
    void commandSent(CommandKind kind, const QString &command) override;

private:
    enum class Pending
    {
        Nothing,
        Down,
        Back,
    };

    void notify(const QString &title, const QString &text, const NotificationPlace &place);
    void showAtTray(const QString &title, const QString &text);

    Tray &m_tray;
    DesktopNotifications *m_desktop = nullptr;
    const Clock &m_clock;
    bool m_enabled = true;
    // The outage's start and end are told before the cycle that names the addresses.
    Pending m_pending = Pending::Nothing;
    // Of no length when the outage began before the watch did.
    OutageSpan m_outage;
};
