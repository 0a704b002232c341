#include "DroppedCapabilities.h"
#include "EchoProbe.h"
#include "IcmpEchoFacility.h"
#include "OwnNetworkNamespace.h"
#include "ProbeTarget.h"
#include "StopLatch.h"

#include <QStandardPaths>
#include <QTest>

#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <thread>

using SocketChoice = IcmpEchoFacility::SocketChoice;

namespace {

// Inside the test's own namespace: 127.0.0.2 and 2001:db8::2 swallow echo requests;
// 127.0.0.3, 2001:db8::3 and 2001:db8::4 refuse them; 127.0.0.4 swallows every second. The rules
// sit in the input hook, so the request really leaves the socket and a real ICMP error comes back.
constexpr const char *kRules = R"(
table ip echotest {
    chain input {
        type filter hook input priority 0; policy accept;
        ip daddr 127.0.0.2 icmp type echo-request drop
        ip daddr 127.0.0.3 icmp type echo-request reject with icmp type host-unreachable
        ip daddr 127.0.0.4 icmp type echo-request numgen inc mod 2 == 1 drop
    }
}
table ip6 echotest6 {
    chain input {
        type filter hook input priority 0; policy accept;
        ip6 daddr 2001:db8::2 icmpv6 type echo-request drop
        ip6 daddr 2001:db8::3 icmpv6 type echo-request reject with icmpv6 type admin-prohibited
        ip6 daddr 2001:db8::4 icmpv6 type echo-request reject with icmpv6 type no-route
    }
}
)";

// What a wait may take past the moment it should end, on the most loaded machine.
constexpr qint64 kSlackMs = 10'000;

// The IPv6 hosts of the rules live on the namespace's loopback.
const std::string kIpv6Hosts = "for host in 2 3 4; do ip -6 addr add 2001:db8::$host/128 dev lo "
                               "nodad || exit 1; done && " +
                               AwaitLocalIpv6Addresses("2001:db8::2 2001:db8::3 2001:db8::4");

struct ProbeOutcome
{
    bool completed = false;
    char failure[160] = {};
    quint32 status = 0;
    EchoHindrance hindrance = EchoHindrance::None;
    bool maySendEchoes = false; // the start-up check's answer
    qint64 elapsedMs = 0;
    // From the raising of the stop latch to the end of the echo; negative when the
    // echo ended first.
    qint64 afterStopUs = 0;
};

struct NamespaceProbe
{
    SocketChoice choice = SocketChoice::DatagramFirst;
    bool admitDatagramSockets = false;
    const char *address = nullptr;
    qint32 timeoutMs = 0;
    bool neighbourPings = false; // another prober's replies and errors arrive meanwhile
    bool rawRefused = false;     // no CAP_NET_RAW, as for a user
    int stopAfterMs = 0;         // the stop latch is raised this long after the echo began
    // An echo just before, given up at once, whose answer waits on the socket.
    bool lateAnswerBefore = false;
    // Between an answered echo and this one, another raw prober's replies arrive,
    // more than a socket's buffer holds.
    bool crowdedBefore = false;
};

ProbeOutcome FailedWith(const char *text)
{
    ProbeOutcome outcome;
    std::snprintf(outcome.failure, sizeof outcome.failure, "%s", text);
    return outcome;
}

// Another raw prober in the same namespace: every raw ICMP socket sees its replies
// and the errors about its requests.
[[noreturn]] void PingForever()
{
    IcmpEchoFacility facility(SocketChoice::RawOnly);
    for (;;) {
        EchoReply reply{};
        PingAddress(facility, QStringLiteral("127.0.0.1"), reply, 100);
        PingAddress(facility, QStringLiteral("127.0.0.3"), reply, 100);
        PingAddress(facility, QStringLiteral("::1"), reply, 100);
        PingAddress(facility, QStringLiteral("2001:db8::3"), reply, 100);
    }
}

// Runs in the child: a fresh network namespace with only loopback, the rules, and
// one probe.
ProbeOutcome ProbeInsideNewNamespace(const NamespaceProbe &probe)
{
    if (::unshare(CLONE_NEWNET) != 0)
        return FailedWith("cannot create a network namespace");
    // net.ipv4.ping_group_range decides whether datagram ICMP sockets are allowed.
    const std::string setup = std::string("ip link set lo up && ") + kIpv6Hosts + " && echo '" +
                              (probe.admitDatagramSockets ? "0 2147483647" : "1 0") +
                              "' > /proc/sys/net/ipv4/ping_group_range && nft -f - <<'EOF'" +
                              kRules + "EOF\n";
    if (std::system(setup.c_str()) != 0)
        return FailedWith(
            "cannot set up loopback, its IPv6 hosts, ping_group_range or the nft rules");
    if (probe.rawRefused && !DropCapabilities({CAP_NET_RAW}))
        return FailedWith("cannot drop CAP_NET_RAW");

    const pid_t neighbour = probe.neighbourPings ? ::fork() : -1;
    if (neighbour == 0)
        PingForever();
    StopLatch stop;
    IcmpEchoFacility facility(probe.choice, &stop);
    const bool maySendEchoes = facility.maySendEchoes();
    std::thread stopper;
    std::chrono::steady_clock::time_point raised;
    if (probe.stopAfterMs > 0)
        stopper = std::thread([&stop, &probe, &raised] {
            std::this_thread::sleep_for(std::chrono::milliseconds(probe.stopAfterMs));
            raised = std::chrono::steady_clock::now();
            stop.raise();
        });
    EchoReply reply{};
    // Straight to the facility: a time-out of 0 ends the wait before any read.
    if (probe.lateAnswerBefore)
        facility.echo(ParseProbeTarget(QString::fromLatin1(probe.address)).address,
                      QByteArrayLiteral("Echo This"), 0);
    if (probe.crowdedBefore) {
        PingAddress(facility, QString::fromLatin1(probe.address), reply, probe.timeoutMs);
        IcmpEchoFacility neighbour(SocketChoice::RawOnly);
        for (int echo = 0; echo < 1000; ++echo)
            PingAddress(neighbour, QString::fromLatin1(probe.address), reply, 100);
    }
    const auto start = std::chrono::steady_clock::now();
    const EchoHindrance hindrance =
        PingAddress(facility, QString::fromLatin1(probe.address), reply, probe.timeoutMs);
    const auto end = std::chrono::steady_clock::now();
    if (stopper.joinable())
        stopper.join();
    if (neighbour > 0) {
        ::kill(neighbour, SIGKILL);
        ::waitpid(neighbour, nullptr, 0);
    }

    ProbeOutcome outcome;
    outcome.completed = true;
    outcome.status = reply.Status;
    outcome.hindrance = hindrance;
    outcome.maySendEchoes = maySendEchoes;
    outcome.elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(end - start).count();
    if (probe.stopAfterMs > 0)
        outcome.afterStopUs =
            std::chrono::duration_cast<std::chrono::microseconds>(end - raised).count();
    return outcome;
}

ProbeOutcome ProbeInNamespace(const NamespaceProbe &probe)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return FailedWith("cannot create a pipe");
    const pid_t child = ::fork();
    if (child < 0)
        return FailedWith("cannot fork");
    if (child == 0) {
        ::close(channel[0]);
        const ProbeOutcome outcome = ProbeInsideNewNamespace(probe);
        const bool written = ::write(channel[1], &outcome, sizeof outcome) == sizeof outcome;
        ::_exit(written ? 0 : 1);
    }
    ::close(channel[1]);
    ProbeOutcome outcome;
    const ssize_t received = ::read(channel[0], &outcome, sizeof outcome);
    ::close(channel[0]);
    ::waitpid(child, nullptr, 0);
    if (received != sizeof outcome)
        return FailedWith("the namespace child ended without an answer");
    return outcome;
}

// Why the namespace tests cannot run here, or an empty text when they can.
QString NamespaceUnavailableReason()
{
    if (::geteuid() != 0)
        return QStringLiteral("needs root to create a network namespace and load nft rules");
    for (const QString &tool : {QStringLiteral("ip"), QStringLiteral("nft")}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            return tool + QStringLiteral(" is not installed");
    }
    return {};
}

} // namespace

Q_DECLARE_METATYPE(NamespaceProbe)
Q_DECLARE_METATYPE(EchoHindrance)

class TestEchoLive : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void loopbackAnswers_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addRow("IPv4") << QStringLiteral("127.0.0.1");
        QTest::addRow("IPv6") << QStringLiteral("::1");
    }

    void loopbackAnswers()
    {
        QFETCH(QString, address);
        // The second echo through the same facility must not take the first one's reply.
        IcmpEchoFacility facility;
        EchoReply first{};
        EchoReply second{};
        PingAddress(facility, address, first, 2000);
        PingAddress(facility, address, second, 2000);
        if (first.Status == kEchoGeneralFailure && ::geteuid() != 0)
            QSKIP("no ICMP socket: not root and the group is outside net.ipv4.ping_group_range");
        QCOMPARE(first.Status, kEchoSuccess);
        QCOMPARE(second.Status, kEchoSuccess);
        // Whole milliseconds, not a finer unit: a loopback answer takes far less than one,
        // so only a descheduling of two seconds between the answer and its reading, a
        // thousand times the usual, could reach the bound.
        QVERIFY(first.RoundTripTime < 2000);
    }

    void inNamespace_data()
    {
        QTest::addColumn<NamespaceProbe>("probe");
        QTest::addColumn<uint>("status");
        QTest::addColumn<EchoHindrance>("hindrance");
        const EchoHindrance none = EchoHindrance::None;

        const struct
        {
            const char *name;
            SocketChoice choice;
            bool admit;
        } sockets[] = {
            {"datagram", SocketChoice::DatagramOnly, true},
            {"raw", SocketChoice::RawOnly, false},
            {"raw after refused datagram", SocketChoice::DatagramFirst, false},
        };
        for (const auto &socket : sockets) {
            QTest::addRow("%s: IPv6 loopback answers", socket.name)
                << NamespaceProbe{socket.choice, socket.admit, "::1", 2000} << 0U << none;
            QTest::addRow("%s: dropped IPv6 request times out", socket.name)
                << NamespaceProbe{socket.choice, socket.admit, "2001:db8::2", 300} << 11010U
                << none;
            QTest::addRow("%s: IPv6 administratively prohibited is host unreachable", socket.name)
                << NamespaceProbe{socket.choice, socket.admit, "2001:db8::3", 2000} << 11003U
                << none;
            QTest::addRow("%s: IPv6 no route is net unreachable", socket.name)
                << NamespaceProbe{socket.choice, socket.admit, "2001:db8::4", 2000} << 11002U
                << none;
            QTest::addRow("%s: a stop ends an IPv6 wait", socket.name)
                << NamespaceProbe{socket.choice, socket.admit, "2001:db8::2", 60000, false,
                                  false,         200}
                << 11050U << EchoHindrance::Stopped;
            QTest::addRow("%s: loopback answers", socket.name)
                << NamespaceProbe{socket.choice, socket.admit, "127.0.0.1", 2000} << 0U << none;
            QTest::addRow("%s: dropped request times out", socket.name)
                << NamespaceProbe{socket.choice, socket.admit, "127.0.0.2", 300} << 11010U << none;
            QTest::addRow("%s: the late answer to the echo before does not count", socket.name)
                << NamespaceProbe{socket.choice, socket.admit, "127.0.0.4", 300,
                                  false,         false,        0,           true}
                << 11010U << none;
            QTest::addRow("%s: rejected request is host unreachable", socket.name)
                << NamespaceProbe{socket.choice, socket.admit, "127.0.0.3", 2000} << 11003U << none;
            // The longest time-out the field takes, which alone would never end.
            QTest::addRow("%s: a stop ends the wait", socket.name)
                << NamespaceProbe{socket.choice,
                                  socket.admit,
                                  "127.0.0.2",
                                  std::numeric_limits<qint32>::max(),
                                  false,
                                  false,
                                  200}
                << 11050U << EchoHindrance::Stopped;
        }
        // Every raw ICMP socket sees the neighbour's replies and errors: none of them
        // may end the wait early.
        QTest::addRow("raw: foreign traffic does not end the wait")
            << NamespaceProbe{SocketChoice::RawOnly, false, "127.0.0.2", 600, true} << 11010U
            << none;
        QTest::addRow("raw: foreign traffic does not end an IPv6 wait")
            << NamespaceProbe{SocketChoice::RawOnly, false, "2001:db8::2", 600, true} << 11010U
            << none;
        for (const char *address : {"127.0.0.1", "::1"})
            QTest::addRow("raw: foreign replies between echoes leave room for ours (%s)", address)
                << NamespaceProbe{.choice = SocketChoice::RawOnly,
                                  .address = address,
                                  .timeoutMs = 2000,
                                  .crowdedBefore = true}
                << 0U << none;
        // No request left: the silence says nothing about the line.
        QTest::addRow("datagram refused gives general failure without permission")
            << NamespaceProbe{SocketChoice::DatagramOnly, false, "127.0.0.1", 2000} << 11050U
            << EchoHindrance::NoPermission;
        QTest::addRow("both sockets refused gives general failure without permission")
            << NamespaceProbe{SocketChoice::DatagramFirst, false, "127.0.0.1", 2000, false, true}
            << 11050U << EchoHindrance::NoPermission;
    }

    void inNamespace()
    {
        QFETCH(NamespaceProbe, probe);
        QFETCH(uint, status);
        QFETCH(EchoHindrance, hindrance);

        if (const QString reason = NamespaceUnavailableReason(); !reason.isEmpty())
            QSKIP(qPrintable(reason));
        const ProbeOutcome outcome = ProbeInNamespace(probe);
        if (!outcome.completed)
            QSKIP(outcome.failure);
        QCOMPARE(outcome.status, status);
        QCOMPARE(outcome.hindrance, hindrance);
        // The start-up check agrees with the echoes: a raw socket after a refused
        // datagram one can send.
        QCOMPARE(outcome.maySendEchoes, hindrance != EchoHindrance::NoPermission);
        // Bounds on the wall clock that no load can break. A lower bound holds because
        // the deadline is taken after this clock started and the kernel never ends a
        // wait early. An upper bound is thousands of times what a wait takes past its
        // cause, a few milliseconds.
        const QByteArray took = QStringLiteral("returned after %1 ms, %2 us after the stop")
                                    .arg(outcome.elapsedMs)
                                    .arg(outcome.afterStopUs)
                                    .toLatin1();
        if (hindrance == EchoHindrance::Stopped)
            // The raised latch ended the wait, at once; its deadline was a minute away
            // or more.
            QVERIFY2(outcome.afterStopUs >= 0 && outcome.afterStopUs < kSlackMs * 1000, took);
        else if (status == kEchoTimedOut)
            // The wait ran to the deadline it was handed, which is the time-out.
            QVERIFY2(outcome.elapsedMs >= probe.timeoutMs &&
                         outcome.elapsedMs < probe.timeoutMs + kSlackMs,
                     took);
        else
            // An answer or an error ends the wait at once, not at its deadline.
            QVERIFY2(outcome.elapsedMs < probe.timeoutMs, took);
    }
};

QTEST_GUILESS_MAIN(TestEchoLive)
#include "tst_echo_live.moc"
