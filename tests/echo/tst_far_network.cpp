#include "EchoProbe.h"
#include "FarNetwork.h"
#include "IcmpEchoFacility.h"
#include "IcmpWire.h"
#include "OwnNetworkNamespace.h"

#include <QFile>
#include <QTest>

#include <array>
#include <cstdio>

using SocketChoice = IcmpEchoFacility::SocketChoice;

namespace {

// Datagram ICMP sockets need the namespace to admit every group; raw ones need root.
const std::string kSetUp = "echo '0 2147483647' > /proc/sys/net/ipv4/ping_group_range";

constexpr std::size_t kMostEchoes = 4;

struct Outcome
{
    char failure[160] = {};
    std::array<quint32, kMostEchoes> statuses{};
    std::array<quint32, kMostEchoes> roundTripsMs{};
    int requestsSeen = 0;
};

// Runs in the namespace: the far network with the one host, and the echoes to it.
Outcome PingFarHost(SocketChoice choice, const FarHost &host, qint32 timeoutMs, qsizetype echoes)
{
    Outcome outcome;
    FarNetwork far({host});
    if (!far.failure().empty()) {
        std::snprintf(outcome.failure, sizeof outcome.failure, "%s", far.failure().c_str());
        return outcome;
    }
    IcmpEchoFacility facility(choice);
    for (std::size_t echo = 0; echo < std::size_t(echoes); ++echo) {
        EchoReply reply{};
        PingAddress(facility, QString::fromStdString(host.address), reply, timeoutMs);
        outcome.statuses[echo] = reply.Status;
        outcome.roundTripsMs[echo] = reply.RoundTripTime;
    }
    outcome.requestsSeen = far.requestsTo(host.address);
    return outcome;
}

} // namespace

Q_DECLARE_METATYPE(SocketChoice)

class TestFarNetwork : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void echoesOverABadLine_data()
    {
        QTest::addColumn<SocketChoice>("choice");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("losses");
        QTest::addColumn<QList<int>>("delaysMs");
        QTest::addColumn<QString>("errorFrom");
        QTest::addColumn<qint32>("timeoutMs");
        QTest::addColumn<QList<quint32>>("statuses");
        QTest::addColumn<quint32>("leastRoundTripMs");
        const quint32 lost = kEchoTimedOut;
        const quint32 unreachable = IcmpWire::kDestinationHostUnreachable;
        const struct
        {
            const char *name;
            SocketChoice choice;
        } sockets[] = {{"datagram", SocketChoice::DatagramOnly}, {"raw", SocketChoice::RawOnly}};
        const struct
        {
            const char *name;
            const char *host;
            const char *router;
        } families[] = {{"IPv4", "192.0.2.7", "198.51.100.254"},
                        {"IPv6", "2001:db8:2::7", "2001:db8:1::fe"}};
        for (const auto &socket : sockets) {
            for (const auto &family : families) {
                const QString host = QString::fromLatin1(family.host);
                QTest::addRow("%s %s: every other echo lost", socket.name, family.name)
                    << socket.choice << host << "x.x." << QList<int>{} << QString() << 1000
                    << QList<quint32>{lost, 0, lost, 0} << 0U;
                QTest::addRow("%s %s: a 300 ms delay", socket.name, family.name)
                    << socket.choice << host << "" << QList<int>{300} << QString() << 10000
                    << QList<quint32>{0} << 300U;
                // The first answer is held past its time-out; the second leaves at once,
                // which it could not if the far side slept through the first one's delay.
                QTest::addRow("%s %s: held past its time-out, the next still at once", socket.name,
                              family.name)
                    << socket.choice << host << "" << QList<int>{3000, 0} << QString() << 1000
                    << QList<quint32>{lost, 0} << 0U;
                QTest::addRow("%s %s: a router says unreachable", socket.name, family.name)
                    << socket.choice << host << "" << QList<int>{}
                    << QString::fromLatin1(family.router) << 2000
                    << QList<quint32>{unreachable, unreachable} << 0U;
                // The first error comes in the middle of the second echo's wait, which it
                // must not end; the second error comes after the last echo.
                QTest::addRow("%s %s: an error after its echo's time-out", socket.name, family.name)
                    << socket.choice << host << "" << QList<int>{1500, 3000}
                    << QString::fromLatin1(family.router) << 1000 << QList<quint32>{lost, lost}
                    << 0U;
            }
        }
    }

    void echoesOverABadLine()
    {
        QFETCH(SocketChoice, choice);
        QFETCH(QString, address);
        QFETCH(QString, losses);
        QFETCH(QList<int>, delaysMs);
        QFETCH(QString, errorFrom);
        QFETCH(qint32, timeoutMs);
        QFETCH(QList<quint32>, statuses);
        QFETCH(quint32, leastRoundTripMs);
        if (const QString reason = OwnNetworkNamespaceUnavailable(); !reason.isEmpty())
            QSKIP(qPrintable(reason));
        if (!QFile::exists(QStringLiteral("/dev/net/tun")))
            QSKIP("no /dev/net/tun to make the far network's device with");
        const FarHost host{address.toStdString(), losses.toStdString(),
                           std::vector<int>(delaysMs.begin(), delaysMs.end()),
                           errorFrom.toStdString()};
        Outcome outcome;
        const NamespaceRun run = RunInOwnNetworkNamespace(
            kSetUp, [&] { return PingFarHost(choice, host, timeoutMs, statuses.size()); }, outcome);
        if (run == NamespaceRun::NoNamespace)
            QSKIP("cannot create a network namespace");
        QCOMPARE(run, NamespaceRun::Ran);
        QVERIFY2(outcome.failure[0] == '\0', outcome.failure);
        for (std::size_t echo = 0; echo < std::size_t(statuses.size()); ++echo) {
            QCOMPARE(outcome.statuses[echo], statuses[qsizetype(echo)]);
            // The delay we imposed is a floor no clock can break; an answer within its
            // time-out has a ceiling too, which the status already tells.
            if (outcome.statuses[echo] == kEchoSuccess)
                QVERIFY2(outcome.roundTripsMs[echo] >= leastRoundTripMs,
                         qPrintable(QString::number(outcome.roundTripsMs[echo])));
        }
        // Each echo went out once, and only once, to the far host.
        QCOMPARE(outcome.requestsSeen, int(statuses.size()));
    }
};

QTEST_GUILESS_MAIN(TestFarNetwork)
#include "tst_far_network.moc"
