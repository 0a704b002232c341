#include "FreedesktopNotifications.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include <utility>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kBusService = QStringLiteral("org.freedesktop.DBus");
const QString kBusPath = QStringLiteral("/org/freedesktop/DBus");
const QString kApplicationName = QStringLiteral("Corvane");
// The name of the installed icon and desktop entry.
const QString kIconName = QStringLiteral("corvane");
// A service that has not answered by then is taken to have lost the notification.
constexpr int kReplyTimeoutMs = 10000;

// Runs onReply with the reply once it arrives, without waiting for it here.
template <typename OnReply>
void WhenAnswered(QObject *owner, const QDBusPendingCall &call, OnReply onReply)
{
    auto *watcher = new QDBusPendingCallWatcher(call, owner);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, owner,
                     [onReply = std::move(onReply)](QDBusPendingCallWatcher *finished) {
                         onReply(*finished);
                         finished->deleteLater();
                     });
}

} // namespace

FreedesktopNotifications::FreedesktopNotifications(const QDBusConnection &bus)
    : m_bus(bus), m_watcher(kService, bus,
                            QDBusServiceWatcher::WatchForRegistration |
                                QDBusServiceWatcher::WatchForUnregistration)
{
    connect(&m_watcher, &QDBusServiceWatcher::serviceRegistered, this,
            [this] { m_running = true; });
    connect(&m_watcher, &QDBusServiceWatcher::serviceUnregistered, this,
            [this] { m_running = false; });
    if (m_bus.isConnected())
        AskTheBus();
}

void FreedesktopNotifications::AskTheBus()
{
    QDBusMessage owned = QDBusMessage::createMethodCall(kBusService, kBusPath, kBusService,
                                                        QStringLiteral("NameHasOwner"));
    owned << kService;
    WhenAnswered(this, m_bus.asyncCall(owned), [this](QDBusPendingCallWatcher &answer) {
        const QDBusPendingReply<bool> reply = answer;
        // The bus tells of a change only after it has answered the question.
        if (reply.isValid())
            m_running = reply.value();
    });
    const QDBusMessage activatable = QDBusMessage::createMethodCall(
        kBusService, kBusPath, kBusService, QStringLiteral("ListActivatableNames"));
    WhenAnswered(this, m_bus.asyncCall(activatable), [this](QDBusPendingCallWatcher &answer) {
        const QDBusPendingReply<QStringList> reply = answer;
        m_activatable = reply.isValid() && reply.value().contains(kService);
    });
}

void FreedesktopNotifications::show(const QString &title, const QString &text,
                                    std::function<void()> onRefused)
{
    QDBusMessage notify =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), kIconName}};
    // Application, no notification to replace, icon, summary, body, no actions, hints,
    // and the service's own time on screen.
    notify << kApplicationName << 0U << kIconName << title << text << QStringList() << hints << -1;
    WhenAnswered(this, m_bus.asyncCall(notify, kReplyTimeoutMs),
                 [onRefused = std::move(onRefused)](QDBusPendingCallWatcher &answer) {
                     if (answer.isError() && onRefused)
                         onRefused();
                 });
}
