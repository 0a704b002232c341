#pragma once

#include "TrayBadge.h"
#include "TrayTip.h"
#include "WatchEvents.h"

#include <QObject>

class MainWindow;
class Tray;

// The tray icon and the window's life beside it: minimising tucks the window away
// into the tray, the icon brings it back, and a right click on the icon while the
// window is tucked away (hidden or minimised) opens the window's tray menu. While no
// echo can be sent, the tip says so in place of what the watch last asked it to show.
class TrayWindow final : public QObject, public TrayTip, public WatchEvents
{
public:
    TrayWindow(MainWindow &window, Tray &tray);
    ~TrayWindow() override;

    // Start-up: shows the icon and tucks the window away. Where the notification area
    // can hold the icon the window is never shown; elsewhere it starts minimised.
    void StartInTray();
    // Shows the icon with the window's icon and the failure level of the meter.
    void AddTrayIcon();
    void UpdateTrayTip(const QString &text) override;
    // The icon's corner shows the state; the window's own icon stays as it is.
    void ShowBadge(BadgeState state);
    // The tip asked for last, before any cut to the tray's length, whatever a blind
    // watch shows in its place.
    QString TipText() const { return m_tip; }
    void RemoveTrayIcon();
    // Shows the window in its normal state, in front.
    void RestoreWindow();
    // Minimises the window, which tucks it away when the icon is in the tray.
    // (QWidget::showMinimized would show the window again right after.)
    void MinimizeWindow();

    void watchBlind(bool blind) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void OpenPopupMenu(const QPoint &position);
    void ShowTip();

    MainWindow &m_window;
    Tray &m_tray;
    bool m_iconShown = false;
    BadgeState m_badge = BadgeState::None;
    QString m_tip;
    bool m_blind = false;
};
