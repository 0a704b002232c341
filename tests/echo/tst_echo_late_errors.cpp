#include "EchoProbe.h"
#include "IcmpEchoFacility.h"
#include "OwnNetworkNamespace.h"

#include <QFile>
#include <QTest>

#include <array>
#include <chrono>
#include <string>
#include <thread>

using SocketChoice = IcmpEchoFacility::SocketChoice;

namespace {

// Inside the test's own namespace:
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
};

QTEST_GUILESS_MAIN(TestEchoLateErrors)
#include "tst_echo_late_errors.moc"
