#include "FakeClock.h"
#include "FakeTray.h"
#include "FreedesktopNotifications.h"
#include "OutageNotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QtTest>

#include <memory>

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
    // Summaries that are turned down, as a service that shows only some would.
    QStringList refused;
    // Answers wait until released, as a busy service's do.
    bool holdsAnswers = false;
    // Each notification as "application|icon|summary: body".
    QStringList received;
    // Each as "summary replaces N", with " urgency U" where the hint is given.
    QStringList placed;
    QStringList capabilities;

    void releaseAnswers()
    {
        holdsAnswers = false;
        for (const QDBusMessage &answer : std::as_const(m_held))
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("service"))
                .send(answer);
        m_held.clear();
    }

public Q_SLOTS:
    QStringList GetCapabilities() { return capabilities; }

    uint Notify(const QString &application, uint replaces, const QString &icon,
                const QString &summary, const QString &body, const QStringList &,
                const QVariantMap &hints, int)
    {
        if (refuses || refused.contains(summary)) {
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("Do not disturb"));
            return 0;
        }
        received << application + u'|' + icon + u'|' + summary + QStringLiteral(": ") + body;
        QString place = summary + QStringLiteral(" replaces ") + QString::number(replaces);
        if (hints.contains(QStringLiteral("urgency"))) {
            const QVariant urgency = hints.value(QStringLiteral("urgency"));
            // A byte on the wire: notification services read the urgency hint as one.
            place += QStringLiteral(" urgency ") + QString::number(urgency.toUInt()) +
                     (urgency.metaType() == QMetaType::fromType<uchar>() ? QString()
                                                                         : QStringLiteral("?"));
        }
        placed << place;
        // The number of a replaced notification stays; a new one gets the next.
        const uint id = replaces != 0 ? replaces : ++m_lastId;
        if (holdsAnswers) {
            setDelayedReply(true);
            m_held << message().createReply(QVariant::fromValue(id));
        }
        return id;
    }

private:
    uint m_lastId = 0;
    QList<QDBusMessage> m_held;
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

    // A service that reads markup in the body gets an address's "<" and "&" escaped, one
    // that does not gets them as typed; neither gets a NUL, which D-Bus cannot carry.
    void bodyReadsAsTyped_data()
    {
        QTest::addColumn<QStringList>("capabilities");
        QTest::addColumn<QString>("body");
        QTest::addRow("reads markup")
            << QStringList{QStringLiteral("body"), QStringLiteral("body-markup")}
            << QStringLiteral("No answer from &lt;b&gt;a&amp;b&lt;/b&gt;\uFFFDx.");
        QTest::addRow("plain") << QStringList{QStringLiteral("body")}
                               << QStringLiteral("No answer from <b>a&b</b>\uFFFDx.");
    }

    void bodyReadsAsTyped()
    {
        QFETCH(QStringList, capabilities);
        QFETCH(QString, body);
        QDBusConnection serviceBus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("service"));
        FakeNotificationService fake;
        fake.capabilities = capabilities;
        QVERIFY(serviceBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake,
                                          QDBusConnection::ExportAllSlots));
        QVERIFY(serviceBus.registerService(kService));
        FakeTray tray;
        FakeClock clock;
        FreedesktopNotifications notifications;
        OutageNotifier notifier(tray, clock);
        notifier.setDesktopNotifications(&notifications);
        QTRY_VERIFY(notifications.isAvailable());

        CycleReport failing;
        failing.primary.address = QStringLiteral("<b>a&b</b>") + QChar(u'\0') + u'x';
        notifier.outageStarted();
        notifier.cycleDone(failing);
        QTRY_COMPARE(fake.received,
                     QStringList{QStringLiteral("Corvane|corvane|Line down: ") + body});
        QVERIFY(tray.messages.isEmpty());
        serviceBus.unregisterService(kService);
        serviceBus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
    }

    // "Line back" takes the place of its outage's "Line down" bubble, through the number
    // the service gave that one, even when it comes before the service has answered;
    // "Fail command sent" is a bubble of its own that asks to be seen. A service that
    // started again has not numbered anything yet.
    void lineBackReplacesLineDown_data()
    {
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("placed");
        QTest::addColumn<QStringList>("atTray");

        QTest::addRow("down, sent, back")
            << QStringList{"down", "sent", "back"}
            << QStringList{"Line down replaces 0", "Fail command sent replaces 0 urgency 2",
                           "Line back replaces 1"}
            << QStringList();
        QTest::addRow("back before down is answered")
            << QStringList{"hold", "down", "back", "release"}
            << QStringList{"Line down replaces 0", "Line back replaces 1"} << QStringList();
        QTest::addRow("next outage")
            << QStringList{"down", "back", "down"}
            << QStringList{"Line down replaces 0", "Line back replaces 1", "Line down replaces 1"}
            << QStringList();
        QTest::addRow("down turned down")
            << QStringList{"refuse down", "down", "back"} << QStringList{"Line back replaces 0"}
            << QStringList{"Line down"};
        QTest::addRow("service started again")
            << QStringList{"down", "restart", "back"}
            << QStringList{"Line down replaces 0", "Line back replaces 0"} << QStringList();
    }

    void lineBackReplacesLineDown()
    {
        QFETCH(QStringList, events);
        QFETCH(QStringList, placed);
        QFETCH(QStringList, atTray);

        QDBusConnection serviceBus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("service"));
        auto fake = std::make_unique<FakeNotificationService>();
        const auto offer = [&serviceBus](FakeNotificationService &service) {
            return serviceBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                             &service, QDBusConnection::ExportAllSlots) &&
                   serviceBus.registerService(kService);
        };
        QVERIFY(offer(*fake));
        FakeTray tray;
        FakeClock clock;
        FreedesktopNotifications notifications;
        OutageNotifier notifier(tray, clock);
        notifier.setDesktopNotifications(&notifications);
        QTRY_VERIFY(notifications.isAvailable());

        CycleReport failing;
        failing.primary.address = QStringLiteral("127.0.0.1");
        CycleReport answered = failing;
        answered.answered = true;
        QStringList placedBefore;
        for (const QString &event : std::as_const(events)) {
            if (event == u"down") {
                notifier.outageStarted();
                notifier.cycleDone(failing);
            } else if (event == u"sent") {
                notifier.commandSent(CommandKind::Fail, QStringLiteral("^m"));
            } else if (event == u"back") {
                notifier.outageEnded();
                notifier.cycleDone(answered);
            } else if (event == u"hold") {
                fake->holdsAnswers = true;
            } else if (event == u"release") {
                // The second waits for the first's number: nothing of it has gone yet.
                QTest::qWait(100);
                QCOMPARE(fake->placed, placed.mid(0, 1));
                fake->releaseAnswers();
            } else if (event == u"refuse down") {
                fake->refused << QStringLiteral("Line down");
            } else if (event == u"restart") {
                QTRY_COMPARE(fake->placed.size(), 1);
                placedBefore = fake->placed;
                QVERIFY(serviceBus.unregisterService(kService));
                QTRY_VERIFY(!notifications.isAvailable());
                serviceBus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
                fake = std::make_unique<FakeNotificationService>();
                QVERIFY(offer(*fake));
                QTRY_VERIFY(notifications.isAvailable());
            }
            // Each in its turn, as the watch's cycles are seconds apart.
            QTest::qWait(20);
        }

        QTRY_COMPARE(placedBefore + fake->placed, placed);
        QTRY_COMPARE(tray.messages.size(), atTray.size());
        for (qsizetype index = 0; index < atTray.size(); ++index)
            QVERIFY(tray.messages[index].startsWith(atTray[index] + u':'));
        serviceBus.unregisterService(kService);
        serviceBus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
    }
};

QTEST_MAIN(TestDesktopNotifications)
#include "tst_desktop_notifications.moc"
