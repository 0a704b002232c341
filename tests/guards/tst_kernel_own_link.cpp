#include "KernelOwnLink.h"
#include "OwnNetworkNamespace.h"
#include "ProbeTarget.h"

#include <QElapsedTimer>
#include <QTest>

#include <cstring>
#include <thread>

using Status = OwnLinkState::Status;
Q_DECLARE_METATYPE(Status)

namespace {

struct Reading
{
    Status status;
    char interfaceName[16];
    qint64 longestMicroseconds;
};

// own0 routes 192.0.2.0/24 and 2001:db8::/64 and has addresses in both; its far end is
// peer0. bare0 routes 198.51.100.0/24 and 2001:db8:1::/64 with no address of either
// family beyond its link-local one. Nothing routes 203.0.113.0/24.
const std::string kLinks =
    "ip link set lo up && ip link add own0 type veth peer name peer0"
    " && ip link add bare0 type veth peer name bare1"
    " && ip addr add 192.0.2.2/24 dev own0 && ip -6 addr add 2001:db8::2/64 dev own0 nodad"
    " && for link in own0 peer0 bare0 bare1; do ip link set $link up || exit 1; done"
    " && ip route add 198.51.100.0/24 dev bare0 && ip -6 route add 2001:db8:1::/64 dev bare0";

} // namespace

// The real reader in a network namespace of the test's own, with veth pairs whose far
// ends go down and up as a cable would.
class TestKernelOwnLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsTheLinkThatCarriesTheRoute_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QString>("pinned");
        QTest::addColumn<Status>("status");
        QTest::addColumn<QString>("interfaceName");

        QTest::addRow("carrier") << ""
                                 << "192.0.2.1"
                                 << "" << Status::Up << "own0";
        QTest::addRow("far end down: no carrier") << "ip link set peer0 down"
                                                  << "192.0.2.1"
                                                  << "" << Status::NoCarrier << "own0";
        QTest::addRow("far end up again") << "ip link set peer0 down && ip link set peer0 up"
                                          << "192.0.2.1"
                                          << "" << Status::Up << "own0";
        // Its routes go with it.
        QTest::addRow("our end down: no route") << "ip link set own0 down"
                                                << "192.0.2.1"
                                                << "" << Status::NoRoute << "";
        QTest::addRow("no IPv4 address") << ""
                                         << "198.51.100.1"
                                         << "" << Status::NoAddress << "bare0";
        QTest::addRow("IPv6, a global address") << ""
                                                << "2001:db8::1"
                                                << "" << Status::Up << "own0";
        QTest::addRow("IPv6, a link-local address only") << ""
                                                         << "2001:db8:1::1"
                                                         << "" << Status::NoAddress << "bare0";
        QTest::addRow("no route") << ""
                                  << "203.0.113.1"
                                  << "" << Status::NoRoute << "";
        QTest::addRow("our own address") << ""
                                         << "192.0.2.2"
                                         << "" << Status::Up << "lo";
        QTest::addRow("pinned, no such interface") << ""
                                                   << "192.0.2.1"
                                                   << "gone0" << Status::Missing << "gone0";
        QTest::addRow("pinned, far end down") << "ip link set peer0 down"
                                              << "192.0.2.1"
                                              << "own0" << Status::NoCarrier << "own0";
        // The kernel takes an IPv4 address to be on the pinned link when no route says
        // otherwise; IPv6 holds to the routes.
        QTest::addRow("pinned, IPv4 with no route by it") << ""
                                                          << "198.51.100.1"
                                                          << "own0" << Status::Up << "own0";
        QTest::addRow("pinned, IPv6 with no route by it") << ""
                                                          << "2001:db8:1::1"
                                                          << "own0" << Status::NoRoute << "own0";
    }
    void readsTheLinkThatCarriesTheRoute()
    {
        QFETCH(QString, change);
        QFETCH(QString, destination);
        QFETCH(QString, pinned);
        QFETCH(Status, status);
        QFETCH(QString, interfaceName);
        if (const QString missing = OwnNetworkNamespaceUnavailable(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        const ProbeTarget target = ParseProbeTarget(destination);

        // The operational state follows the carrier through a kernel work queue, a moment
        // later: the reader is asked until it tells what is expected, for at most 3 s.
        Reading reading{};
        const std::string setUp = kLinks + (change.isEmpty() ? "" : " && " + change.toStdString());
        const NamespaceRun run = RunInOwnNetworkNamespace(
            setUp,
            [&] {
                KernelOwnLink reader;
                Reading result{};
                QElapsedTimer waited;
                waited.start();
                do {
                    QElapsedTimer took;
                    took.start();
                    const OwnLinkState state = reader.Read(target.address, pinned);
                    result.longestMicroseconds =
                        std::max(result.longestMicroseconds, took.nsecsElapsed() / 1000);
                    result.status = state.status;
                    std::strncpy(result.interfaceName, state.interfaceName.toUtf8().constData(),
                                 sizeof result.interfaceName - 1);
                    if (state.status == status)
                        break;
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                } while (waited.elapsed() < 3000);
                return result;
            },
            reading);

        QCOMPARE(run, NamespaceRun::Ran);
        QCOMPARE(reading.status, status);
        QCOMPARE(QString::fromUtf8(reading.interfaceName), interfaceName);
        // Asked on the watch's thread: milliseconds at most, never a wait on the network.
        QVERIFY2(reading.longestMicroseconds < 50'000,
                 qPrintable(QString::number(reading.longestMicroseconds)));
    }
};

QTEST_GUILESS_MAIN(TestKernelOwnLink)
#include "tst_kernel_own_link.moc"
