#pragma once

#include "Tray.h"

#include <QSystemTrayIcon>

// The notification-area icon of the desktop. It has no context menu of its own:
// the window decides when its menu may open.
class QtTray final : public Tray
{
public:
    QtTray();

    bool isAvailable() const override;
    void add(const QIcon &icon, const QString &tip) override;
    void setTip(const QString &tip) override;
    void setIcon(const QIcon &icon) override;
    void remove() override;
    void showMessage(const QString &title, const QString &text) override;

private:
    QSystemTrayIcon m_icon;
};
