#include "FakeClock.h"
#include "FakeTray.h"
#include "FreedesktopNotifications.h"
#include "OutageNotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusError>
#include <QtTest>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");

} // namespace

// A desktop's notification service, as the test's own private session bus offers it.
class FakeNotificationService : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    bool refuses = false;
    // Each notification as "application|icon|summary: body".
    QStringList received;

public Q_SLOTS:
    uint Notify(const QString &application, uint, const QString &icon, const QString &summary,
                const QString &body, const QStringList &, const QVariantMap &, int)
    {
        if (refuses) {
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("Do not disturb"));
            return 0;
        }
        received << application + u'|' + icon + u'|' + summary + QStringLiteral(": ") + body;
        return static_cast<uint>(received.size());
    }
};

// Notifications go to the desktop's service whenever it is on the bus, and to the
// tray's balloon when it is not or when it turns one down.
class TestDesktopNotifications : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // Never the user's own session: the test would show its notifications there.
        if (qEnvironmentVariableIsEmpty("CORVANE_PRIVATE_SESSION_BUS"))
            QSKIP("dbus-run-session is missing: no private session bus to test on");
        QVERIFY(QDBusConnection::sessionBus().isConnected());
    }

    void lineDownReachesTheUser_data()
    {
        QTest::addColumn<QString>("service");
        QTest::addColumn<QStringList>("atService");
        QTest::addColumn<QStringList>("atTray");

        const QString down = QStringLiteral("Line down: No answer from 127.0.0.1.");
        QTest::addRow("service on the bus")
            << QStringLiteral("accepts") << QStringList{QStringLiteral("Corvane|corvane|") + down}
            << QStringList();
        QTest::addRow("service turns it down")
            << QStringLiteral("refuses") << QStringList() << QStringList{down};
        QTest::addRow("service left the bus")
            << QStringLiteral("left") << QStringList() << QStringList{down};
        QTest::addRow("no service") << QString() << QStringList() << QStringList{down};
    }

    void lineDownReachesTheUser()
    {
        QFETCH(QString, service);
        QFETCH(QStringList, atService);
        QFETCH(QStringList, atTray);

        // The service has a connection of its own, as it would in its own process.
        QDBusConnection serviceBus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("service"));
        FakeNotificationService fake;
        fake.refuses = service == QStringLiteral("refuses");
        if (!service.isEmpty()) {
            QVERIFY(serviceBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                              &fake, QDBusConnection::ExportAllSlots));
            QVERIFY(serviceBus.registerService(kService));
        }

        FakeTray tray;
        FakeClock clock;
        FreedesktopNotifications notifications;
        OutageNotifier notifier(tray, clock);
        notifier.setDesktopNotifications(&notifications);
        // What the bus says about the service arrives without being waited for.
        if (!service.isEmpty())
            QTRY_VERIFY(notifications.isAvailable());
        if (service == QStringLiteral("left")) {
            QVERIFY(serviceBus.unregisterService(kService));
            QTRY_VERIFY(!notifications.isAvailable());
        }

        CycleReport failing;
        failing.primary.address = QStringLiteral("127.0.0.1");
        notifier.outageStarted();
        notifier.cycleDone(failing);

        QTRY_COMPARE(fake.received, atService);
        QTRY_COMPARE(tray.messages, atTray);
        serviceBus.unregisterService(kService);
        serviceBus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
    }
};

QTEST_MAIN(TestDesktopNotifications)
#include "tst_desktop_notifications.moc"
