#include "LogindSleepSignal.h"

#include <QDBusConnection>

LogindSleepSignal::LogindSleepSignal()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    // Qt D-Bus matches a bus signal to a slot only by its signature text; there is no
    // function-pointer form of this connect.
    m_listening = bus.connect(QStringLiteral("org.freedesktop.login1"),
                              QStringLiteral("/org/freedesktop/login1"),
                              QStringLiteral("org.freedesktop.login1.Manager"),
                              QStringLiteral("PrepareForSleep"), this, SLOT(PrepareForSleep(bool)));
}

void LogindSleepSignal::PrepareForSleep(bool sleeping)
{
    Q_EMIT sleepNotice(sleeping);
}
