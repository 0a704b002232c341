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
// The urgency hint's value (a byte) for a notification that must be seen.
constexpr uchar kCritical = 2;

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
    connect(&m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        m_running = false;
        // A service started again knows nothing of the numbers the last one gave, and
        // may be another that reads markup otherwise.
        for (Thread &thread : m_threads)
            thread.id = 0;
        if (m_markup != Markup::Asking)
            m_markup = Markup::Unknown;
    });
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

void FreedesktopNotifications::AskCapabilities()
{
    if (m_markup == Markup::Asking)
        return;
    m_markup = Markup::Asking;
    const QDBusMessage capabilities = QDBusMessage::createMethodCall(
        kService, kPath, kService, QStringLiteral("GetCapabilities"));
    WhenAnswered(this, m_bus.asyncCall(capabilities, kReplyTimeoutMs),
                 [this](QDBusPendingCallWatcher &answer) {
                     const QDBusPendingReply<QStringList> reply = answer;
                     // A service that does not say reads none: its body goes as it is.
                     m_markup =
                         reply.isValid() && reply.value().contains(QStringLiteral("body-markup"))
                             ? Markup::Read
                             : Markup::Plain;
                     const QList<Notification> waiting = std::exchange(m_beforeCapabilities, {});
                     for (const Notification &notification : waiting)
                         show(notification.title, notification.text, notification.place,
                              notification.onRefused);
                 });
}

void FreedesktopNotifications::show(const QString &title, const QString &text,
                                    const NotificationPlace &place, std::function<void()> onRefused)
{
    Notification notification{title, text, place, std::move(onRefused)};
    if (m_markup == Markup::Unknown || m_markup == Markup::Asking) {
        m_beforeCapabilities.append(std::move(notification));
        AskCapabilities();
        return;
    }
    if (!place.thread.isEmpty() && m_threads[place.thread].asking) {
        m_threads[place.thread].waiting.append(std::move(notification));
        return;
    }
    Send(std::move(notification));
}

void FreedesktopNotifications::Send(Notification notification)
{
    const QString thread = notification.place.thread;
    quint32 replaced = 0;
    if (!thread.isEmpty()) {
        replaced = m_threads[thread].id;
        m_threads[thread].asking = true;
    }
    QVariantMap hints{{QStringLiteral("desktop-entry"), kIconName}};
    if (notification.place.urgent)
        hints.insert(QStringLiteral("urgency"), QVariant::fromValue(kCritical));
    QDBusMessage notify =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    // Application, the notification it replaces, icon, summary, body, no actions,
    // hints, and the service's own time on screen.
    // A D-Bus string holds no NUL; the summary is plain text to every service.
    QString title = notification.title;
    QString body = m_markup == Markup::Read ? notification.text.toHtmlEscaped() : notification.text;
    title.replace(QChar(u'\0'), QChar::ReplacementCharacter);
    body.replace(QChar(u'\0'), QChar::ReplacementCharacter);
    notify << kApplicationName << replaced << kIconName << title << body << QStringList() << hints
           << -1;
    WhenAnswered(this, m_bus.asyncCall(notify, kReplyTimeoutMs),
                 [this, thread,
                  onRefused = std::move(notification.onRefused)](QDBusPendingCallWatcher &answer) {
                     const QDBusPendingReply<quint32> reply = answer;
                     if (reply.isError() && onRefused)
                         onRefused();
                     if (thread.isEmpty())
                         return;
                     if (reply.isValid())
                         m_threads[thread].id = reply.value();
                     Answered(thread);
                 });
}

void FreedesktopNotifications::Answered(const QString &thread)
{
    Thread &answered = m_threads[thread];
    answered.asking = false;
    if (!answered.waiting.isEmpty())
        Send(answered.waiting.takeFirst());
}
