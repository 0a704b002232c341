#include "EchoProbe.h"
#include "IcmpEchoFacility.h"
#include "IcmpPacket.h"
#include "IpAddress.h"
#include "OwnNetworkNamespace.h"
#include "ProbeTarget.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <array>
#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using SocketChoice = IcmpEchoFacility::SocketChoice;

namespace {

// Inside the test's own namespace, which nothing leaves (the documentation addresses
// below exist only there):
// - 127.0.0.5 and 2001:db8::5 are refused on the way out, by a rule that answers with
//   an ICMP error of its own, which reaches the socket after the send returned;
// - 127.0.0.2 and 2001:db8::2 swallow echo requests;
// - 198.51.100.2 and 2001:db8:1::2 sit on a link where nobody answers for them, so
//   their "unreachable" comes only when the neighbour lookup gives up, long after a
//   short echo ended.
const std::string kSetUp = R"(set -e
ip link set lo up
for host in 2 5; do ip -6 addr add 2001:db8::$host/128 dev lo nodad; done
ip link add late type veth peer name silent
ip link set late up
ip link set silent up
ip addr add 198.51.100.1/24 dev late
ip -6 addr add 2001:db8:1::1/64 dev late nodad
for family in ipv4 ipv6; do
    echo 100 > /proc/sys/net/$family/neigh/late/retrans_time_ms
done
echo '0 2147483647' > /proc/sys/net/ipv4/ping_group_range
)" + AwaitLocalIpv6Addresses("2001:db8::2 2001:db8::5 2001:db8:1::1") +
                           R"(
nft -f - <<'EOF'
table ip lateerrors {
    chain output {
        type filter hook output priority 0; policy accept;
        ip daddr 127.0.0.5 icmp type echo-request reject with icmp type host-unreachable
    }
    chain input {
        type filter hook input priority 0; policy accept;
        ip daddr 127.0.0.2 icmp type echo-request drop
    }
}
table ip6 lateerrors6 {
    chain output {
        type filter hook output priority 0; policy accept;
        ip6 daddr 2001:db8::5 icmpv6 type echo-request reject with icmpv6 type addr-unreachable
    }
    chain input {
        type filter hook input priority 0; policy accept;
        ip6 daddr 2001:db8::2 icmpv6 type echo-request drop
    }
}
EOF
)";

struct Hosts
{
    const char *answering;
    const char *refusedOnTheWayOut;
    const char *silent;
    const char *unresolved;
};

constexpr Hosts kV4{"127.0.0.1", "127.0.0.5", "127.0.0.2", "198.51.100.2"};
constexpr Hosts kV6{"::1", "2001:db8::5", "2001:db8::2", "2001:db8:1::2"};

enum class Story
{
    // The primary is refused every cycle; the secondary answers every cycle.
    RefusedPrimaryThenSecondary,
    // An echo gives up before its "unreachable" comes; the next echo is answered.
    LateErrorBetweenEchoes,
    // The late "unreachable" comes while the next echo waits for a silent host.
    LateErrorDuringNextWait,
    // Someone who saw a request keeps sending "unreachable" errors that quote its
    // identifier; the answering address must still be judged by its answers.
    FloodOfForeignErrors,
};

struct Outcome
{
    // The status of each echo that must not inherit an earlier one's error.
    std::array<quint32, 3> statuses{};
    int count = 0;
    bool errorArrived = true;
};

// The namespace's count of "unreachable" messages received, which grows when the
// neighbour lookup gives up and the kernel reports it to the sender.
long UnreachablesReceived(bool v6)
{
    QFile counters(v6 ? QStringLiteral("/proc/net/snmp6") : QStringLiteral("/proc/net/snmp"));
    if (!counters.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = counters.readAll().split('\n');
    if (v6) {
        for (const QByteArray &line : lines) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() == 2 && fields[0] == "Icmp6InDestUnreachs")
                return fields[1].toLong();
        }
        return -1;
    }
    // Two "Icmp:" lines: the names, then the values.
    QList<QByteArray> names;
    for (const QByteArray &line : lines) {
        if (!line.startsWith("Icmp: "))
            continue;
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (names.isEmpty()) {
            names = fields;
            continue;
        }
        const qsizetype column = names.indexOf("InDestUnreachs");
        return column > 0 && column < fields.size() ? fields[column].toLong() : -1;
    }
    return -1;
}

// Waits, at most 10 s, for the neighbour lookup to give up and report it.
bool AwaitUnreachable(bool v6, long before)
{
    for (int tries = 0; tries < 1000; ++tries) {
        if (UnreachablesReceived(v6) > before)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// The identifier of the first echo request the raw socket sees, or nothing.
std::optional<quint16> SeenIdentifier(int raw, bool v6)
{
    std::array<unsigned char, 2048> packet{};
    for (int tries = 0; tries < 100; ++tries) {
        const ssize_t length = ::recv(raw, packet.data(), packet.size(), MSG_DONTWAIT);
        if (length < 0)
            return std::nullopt;
        // An IPv4 raw socket hands over the IP header too.
        const std::size_t at = v6 ? 0 : std::size_t(packet[0] & 0x0F) * 4;
        if (std::size_t(length) >= at + 8 && packet[at] == (v6 ? 128 : 8))
            return quint16(packet[at + 4] << 8 | packet[at + 5]);
    }
    return std::nullopt;
}

// "Host unreachable" quoting a request with the identifier to another host, from and
// to this host.
QByteArray ForeignError(quint16 identifier, bool v6)
{
    const QByteArray echo = QByteArray::fromHex("0000000000000000");
    QByteArray quotedEcho = echo;
    quotedEcho[0] = char(v6 ? 128 : 8);
    quotedEcho[4] = char(identifier >> 8);
    quotedEcho[5] = char(identifier & 0xFF);
    if (v6) {
        // The kernel fills in an ICMPv6 checksum.
        return QByteArray::fromHex("0103000000000000"
                                   "6000000000083a40"
                                   "00000000000000000000000000000001"
                                   "20010db8000000000000000000000009") +
               quotedEcho;
    }
    QByteArray error = QByteArray::fromHex("0301000000000000"
                                           "4500001c00000000400100007f0000017f000009") +
                       quotedEcho;
    const quint16 checksum = InternetChecksum(error);
    error[2] = char(checksum >> 8);
    error[3] = char(checksum & 0xFF);
    return error;
}

quint32 Ping(IcmpEchoFacility &facility, const char *address, qint32 timeoutMs)
{
    EchoReply reply{};
    PingAddress(facility, QString::fromLatin1(address), reply, timeoutMs);
    return reply.Status;
}

Outcome Tell(SocketChoice choice, const Hosts &hosts, bool v6, Story story)
{
    IcmpEchoFacility facility(choice);
    Outcome outcome;
    switch (story) {
    case Story::RefusedPrimaryThenSecondary:
        for (quint32 &status : outcome.statuses) {
            Ping(facility, hosts.refusedOnTheWayOut, 300);
            status = Ping(facility, hosts.answering, 2000);
        }
        outcome.count = 3;
        break;
    case Story::LateErrorBetweenEchoes: {
        const long before = UnreachablesReceived(v6);
        Ping(facility, hosts.unresolved, 20);
        outcome.errorArrived = AwaitUnreachable(v6, before);
        outcome.statuses[0] = Ping(facility, hosts.answering, 2000);
        outcome.statuses[1] = Ping(facility, hosts.answering, 2000);
        outcome.count = 2;
        break;
    }
    case Story::FloodOfForeignErrors: {
        const int raw = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_RAW | SOCK_CLOEXEC,
                                 v6 ? int(IPPROTO_ICMPV6) : int(IPPROTO_ICMP));
        Ping(facility, hosts.answering, 2000);
        const std::optional<quint16> identifier = SeenIdentifier(raw, v6);
        outcome.errorArrived = identifier.has_value();
        if (!identifier)
            break;
        const QByteArray error = ForeignError(*identifier, v6);
        const SocketAddress us =
            SocketAddressOf(ParseProbeTarget(QString::fromLatin1(hosts.answering)).address);
        std::atomic<bool> flooding = true;
        std::atomic<int> errorsSent = 0;
        std::thread flood([&] {
            while (flooding.load()) {
                if (::sendto(raw, error.constData(), std::size_t(error.size()), 0,
                             reinterpret_cast<const sockaddr *>(&us.storage), us.length) > 0)
                    ++errorsSent;
            }
        });
        // The echoes begin once the errors pour in, not before the thread has started.
        for (int waits = 0; waits < 5000 && errorsSent.load() < 100; ++waits)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        for (quint32 &status : outcome.statuses)
            status = Ping(facility, hosts.answering, 2000);
        outcome.count = 3;
        flooding = false;
        flood.join();
        ::close(raw);
        break;
    }
    case Story::LateErrorDuringNextWait:
        Ping(facility, hosts.unresolved, 20);
        // Far longer than the neighbour lookup's 300 ms, so the error comes meanwhile.
        outcome.statuses[0] = Ping(facility, hosts.silent, 3000);
        outcome.count = 1;
        break;
    }
    return outcome;
}

} // namespace

Q_DECLARE_METATYPE(SocketChoice)
Q_DECLARE_METATYPE(Story)

class TestEchoLateErrors : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void errorsBelongToTheirEcho_data()
    {
        QTest::addColumn<SocketChoice>("choice");
        QTest::addColumn<bool>("v6");
        QTest::addColumn<Story>("story");
        QTest::addColumn<quint32>("status");
        const struct
        {
            const char *name;
            SocketChoice choice;
        } sockets[] = {{"datagram", SocketChoice::DatagramOnly}, {"raw", SocketChoice::RawOnly}};
        for (const auto &socket : sockets) {
            for (const bool v6 : {false, true}) {
                const char *family = v6 ? "IPv6" : "IPv4";
                QTest::addRow("%s %s: refused primary, secondary still answers", socket.name,
                              family)
                    << socket.choice << v6 << Story::RefusedPrimaryThenSecondary << kEchoSuccess;
                QTest::addRow("%s %s: late unreachable, next echo answered", socket.name, family)
                    << socket.choice << v6 << Story::LateErrorBetweenEchoes << kEchoSuccess;
                QTest::addRow("%s %s: late unreachable during the next wait", socket.name, family)
                    << socket.choice << v6 << Story::LateErrorDuringNextWait << kEchoTimedOut;
                // Only a datagram socket holds an error pending for its next send.
                if (socket.choice == SocketChoice::DatagramOnly)
                    QTest::addRow("%s %s: a flood of errors for no echo sent", socket.name, family)
                        << socket.choice << v6 << Story::FloodOfForeignErrors << kEchoSuccess;
            }
        }
    }

    void errorsBelongToTheirEcho()
    {
        QFETCH(SocketChoice, choice);
        QFETCH(bool, v6);
        QFETCH(Story, story);
        QFETCH(quint32, status);
        if (const QString reason = OwnNetworkNamespaceUnavailable(); !reason.isEmpty())
            QSKIP(qPrintable(reason));
        Outcome outcome;
        const NamespaceRun run = RunInOwnNetworkNamespace(
            kSetUp, [&] { return Tell(choice, v6 ? kV6 : kV4, v6, story); }, outcome);
        if (run == NamespaceRun::NoNamespace)
            QSKIP("cannot create a network namespace");
        QCOMPARE(run, NamespaceRun::Ran);
        QVERIFY2(outcome.errorArrived, "the neighbour lookup never gave up");
        for (int echo = 0; echo < outcome.count; ++echo)
            QCOMPARE(outcome.statuses[std::size_t(echo)], status);
    }

    // A socket closed under the facility (by a careless library, say) is opened anew:
    // the next echoes answer, and no fail command goes to a live line.
    void socketClosedUnderItIsOpenedAgain()
    {
        IcmpEchoFacility facility;
        if (Ping(facility, "127.0.0.1", 2000) != kEchoSuccess)
            QSKIP("no ICMP socket: not root and the group is outside net.ipv4.ping_group_range");
        const QDir descriptors(QStringLiteral("/proc/self/fd"));
        int closed = 0;
        for (const QString &name : descriptors.entryList(QDir::Files | QDir::System)) {
            const int descriptor = name.toInt();
            int type = 0;
            socklen_t length = sizeof type;
            int protocol = 0;
            socklen_t protocolLength = sizeof protocol;
            if (descriptor > 2 &&
                ::getsockopt(descriptor, SOL_SOCKET, SO_TYPE, &type, &length) == 0 &&
                ::getsockopt(descriptor, SOL_SOCKET, SO_PROTOCOL, &protocol, &protocolLength) ==
                    0 &&
                protocol == IPPROTO_ICMP && ::close(descriptor) == 0)
                ++closed;
        }
        QCOMPARE(closed, 1);
        Ping(facility, "127.0.0.1", 2000); // finds it gone
        QCOMPARE(Ping(facility, "127.0.0.1", 2000), kEchoSuccess);
        QCOMPARE(Ping(facility, "127.0.0.1", 2000), kEchoSuccess);
    }
};

QTEST_GUILESS_MAIN(TestEchoLateErrors)
#include "tst_echo_late_errors.moc"
