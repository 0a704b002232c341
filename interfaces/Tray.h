#pragma once

#include <QIcon>
#include <QPoint>
#include <QString>

#include <functional>

// The notification-area icon.
class Tray
{
public:
    virtual ~Tray() = default;

    virtual bool isAvailable() const = 0;
    virtual void add(const QIcon &icon, const QString &tip) = 0;
    virtual void setTip(const QString &tip) = 0;
    virtual void setIcon(const QIcon &icon) = 0;
    virtual void remove() = 0;
    // A passing notification beside the icon; it never waits for the user.
    virtual void showMessage(const QString &title, const QString &text) = 0;

    // Left click or double click on the icon.
    std::function<void()> onActivated;
    // Right click on the icon, with the mouse position for a menu.
    std::function<void(const QPoint &)> onContextRequested;
};
