#include "LogindSleepSignal.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QtTest>

namespace {

const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kElsewhere = QStringLiteral("elsewhere");

bool SendPrepareForSleep(QDBusConnection &bus, const QList<bool> &states)
{
    for (bool sleeping : states) {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                         kLogind + QStringLiteral(".Manager"),
                                                         QStringLiteral("PrepareForSleep"));
        signal << sleeping;
        if (!bus.send(signal))
            return false;
    }
    // A round trip to the bus: once it answers, it has passed on everything sent before.
    return bus.interface()->isServiceRegistered(kLogind).isValid();
}

} // namespace

// logind's notices of sleep and wake, from a stand-in for logind on a private bus.
class TestLogindSleepSignal : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // Never the machine's own system bus: the private session bus plays it, and it has
        // to be in place before anything first asks for the system bus.
        if (qEnvironmentVariableIsEmpty("CORVANE_PRIVATE_SESSION_BUS") ||
            qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            QSKIP("No private bus from dbus-run-session to stand in for the system bus");
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", qgetenv("DBUS_SESSION_BUS_ADDRESS"));
        // And the session bus leads nowhere, so that listening there would hear nothing.
        qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArrayLiteral("unix:path=/nonexistent/bus"));
        QVERIFY(QDBusConnection::systemBus().isConnected());

        // logind and another sender each have a connection of their own, as they would in
        // processes of their own. They stay for the whole test: a name given up and taken
        // again could still be on its way to the listener.
        QVERIFY(QDBusConnection::connectToBus(QDBusConnection::SystemBus, kLogind)
                    .registerService(kLogind));
        QVERIFY(
            QDBusConnection::connectToBus(QDBusConnection::SystemBus, kElsewhere).isConnected());
    }

    void takesOnlyLogindsNotices_data()
    {
        QTest::addColumn<QList<bool>>("fromElsewhere");
        QTest::addColumn<QList<bool>>("fromLogind");
        QTest::addColumn<QList<bool>>("taken");

        QTest::addRow("sleep, then wake")
            << QList<bool>() << QList<bool>{true, false} << QList<bool>{true, false};
        // logind's own notice, sent after it, shows that it was passed over and not late.
        QTest::addRow("from a connection that is not logind")
            << QList<bool>{true} << QList<bool>{false} << QList<bool>{false};
    }

    void takesOnlyLogindsNotices()
    {
        QFETCH(QList<bool>, fromElsewhere);
        QFETCH(QList<bool>, fromLogind);
        QFETCH(QList<bool>, taken);

        QList<bool> seen;
        LogindSleepSignal sleepSignal;
        connect(&sleepSignal, &SleepSignal::sleepNotice, this,
                [&seen](bool sleeping) { seen << sleeping; });
        QVERIFY(sleepSignal.isListening());

        QDBusConnection elsewhere(kElsewhere);
        QDBusConnection logind(kLogind);
        QVERIFY(SendPrepareForSleep(elsewhere, fromElsewhere));
        QVERIFY(SendPrepareForSleep(logind, fromLogind));
        QTRY_COMPARE(seen, taken);
    }

    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(kLogind);
        QDBusConnection::disconnectFromBus(kElsewhere);
    }
};

QTEST_MAIN(TestLogindSleepSignal)
#include "tst_logind_sleep_signal.moc"
