#pragma once

#include "DesktopNotifications.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>

// Notifications through org.freedesktop.Notifications on the session bus. Nothing
// here waits on the bus: whether the service is there is learnt from the bus's own
// signals and asked once, without waiting, at the start, so that a bus that hangs
// can never hold up the watch.
class FreedesktopNotifications final : public QObject, public DesktopNotifications
{
public:
    explicit FreedesktopNotifications(const QDBusConnection &bus = QDBusConnection::sessionBus());

    // The service runs, or the bus starts it on the first notification.
    bool isAvailable() const override { return m_running || m_activatable; }
    void show(const QString &title, const QString &text, std::function<void()> onRefused) override;

private:
    void AskTheBus();

    QDBusConnection m_bus;
    QDBusServiceWatcher m_watcher;
    bool m_running = false;
    bool m_activatable = false;
};
