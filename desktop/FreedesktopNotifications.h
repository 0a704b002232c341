#pragma once

#include "DesktopNotifications.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QHash>
#include <QList>
#include <QObject>

// Notifications through org.freedesktop.Notifications on the session bus. Nothing
// here waits on the bus: whether the service is there is learnt from the bus's own
// signals and asked once, without waiting, at the start, so that a bus that hangs
// can never hold up the watch. A thread's notification replaces the one the service
// last numbered for it; one that comes while the service has yet to give that number
// waits for it. A service that reads markup in the body (its "body-markup"
// capability, asked before the first notification it gets) has the body escaped, so
// that an address typed with "<" or "&" in it shows as typed.
class FreedesktopNotifications final : public QObject, public DesktopNotifications
{
public:
    explicit FreedesktopNotifications(const QDBusConnection &bus = QDBusConnection::sessionBus());

    // The service runs, or the bus starts it on the first notification.
    bool isAvailable() const override { return m_running || m_activatable; }
    void show(const QString &title, const QString &text, const NotificationPlace &place,
              std::function<void()> onRefused) override;

private:
    struct Notification
    {
        QString title;
        QString text;
        NotificationPlace place;
        std::function<void()> onRefused;
    };
    struct Thread
    {
        // The service's number for the thread's last notification; 0: none yet.
        quint32 id = 0;
        bool asking = false;
        QList<Notification> waiting;
    };

    // What the service does with a body's markup: not asked yet, being asked, known.
    enum class Markup
    {
        Unknown,
        Asking,
        Plain,
        Read,
    };

    void AskTheBus();
    void AskCapabilities();
    void Send(Notification notification);
    void Answered(const QString &thread);

    QDBusConnection m_bus;
    QDBusServiceWatcher m_watcher;
    bool m_running = false;
    bool m_activatable = false;
    Markup m_markup = Markup::Unknown;
    // What was shown while the capabilities were asked, in its order.
    QList<Notification> m_beforeCapabilities;
    QHash<QString, Thread> m_threads;
};
