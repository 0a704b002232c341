#pragma once

#include <QString>

#include <functional>

// How a notification stands among the others.
struct NotificationPlace
{
    // It asks to be seen: the service keeps it up until the user closes it.
    bool urgent = false;
    // Notifications of one thread share a bubble: each takes the place of the one
    // before it, where that one is still up. Empty: a bubble of its own.
    QString thread;
};

// The desktop's own notification service, where the session has one. It shows
// notifications whether or not there is a notification area to hold a tray icon.
class DesktopNotifications
{
public:
    virtual ~DesktopNotifications() = default;

    // True while the service is there to take a notification.
    virtual bool isAvailable() const = 0;
    // Hands the notification over without waiting for the service. When the service
    // turns it down, or never answers, onRefused runs later, on this thread.
    virtual void show(const QString &title, const QString &text, const NotificationPlace &place,
                      std::function<void()> onRefused) = 0;
};
