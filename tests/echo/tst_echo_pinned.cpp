// Echoes pinned to the watched path, on two real paths to one far host inside the
// test's own network namespaces: the default route takes the backup path, and only
// echoes that leave by the watched one are answered, unless a row lets the backup
// answer too, to show that no echo ever falls back to it.

#include "EchoProbe.h"
#include "IcmpEchoFacility.h"
#include "OwnNetworkNamespace.h"
#include "ProbePath.h"

#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <cstdlib>
#include <string>

using SocketChoice = IcmpEchoFacility::SocketChoice;

namespace {

// The start of every shell step: "far" runs a command beside the far host.
std::string Beside(const std::string &pidFile)
{
    return "set -e\npid=$(cat " + pidFile + ")\nfar() { nsenter -t \"$pid\" -n \"$@\"; }\n";
}

// A veth pair from here to the far host's namespace, up, with the ".1" of each network
// here and the ".2" there.
std::string VethPair(const std::string &name, const std::string &v4, const std::string &v6)
{
    return "ip link add " + name + " type veth peer name " + name + "-far netns \"$pid\"\n" +
           "ip addr add " + v4 + ".1/24 dev " + name + "\n" + "ip -6 addr add " + v6 +
           "::1/64 dev " + name + "\n" + "ip link set " + name + " up\n" + "far ip addr add " + v4 +
           ".2/24 dev " + name + "-far\n" + "far ip -6 addr add " + v6 + "::2/64 dev " + name +
           "-far\n" + "far ip link set " + name + "-far up\n";
}

// The watched path, made anew: the same names, but another interface to the kernel.
std::string AttachWatched(const std::string &pidFile)
{
    return Beside(pidFile) + VethPair("watched", "198.51.100", "2001:db8:1") + R"sh(
ip route add default via 198.51.100.2 dev watched metric 200
ip -6 route add default via 2001:db8:1::2 dev watched metric 200
ip route add default via 198.51.100.2 dev watched table 100
ip -6 route add default via 2001:db8:1::2 dev watched table 100
)sh" + AwaitLocalIpv6Addresses("2001:db8:1::1") +
           "\nfar sh -c '" + AwaitLocalIpv6Addresses("2001:db8:1::2") + "'\n";
}

// The far host, 203.0.113.9 and 2001:db8:9::9, lives in a namespace of its own, held
// by a sleeping process, and is reached through two veth pairs: "backup"
// (192.0.2.0/24, 2001:db8:2::/64), which the default route takes, and "watched"
// (198.51.100.0/24, 2001:db8:1::/64), which a second default route of a higher metric
// takes, and a rule for the watched addresses, as a machine with two uplinks has them.
// Unless the backup answers, the far host drops every echo that comes that way.
std::string SetUp(const std::string &pidFile, bool backupAnswers, bool watchedThere)
{
    std::string script = R"sh(set -e
ip link set lo up
echo 0 > /proc/sys/net/ipv6/conf/default/accept_dad
echo '0 2147483647' > /proc/sys/net/ipv4/ping_group_range
unshare -n sleep 120 </dev/null >/dev/null 2>&1 &
echo $! > )sh" + pidFile +
                         R"sh(
tries=0
until [ "$(readlink /proc/$!/ns/net)" != "$(readlink /proc/self/ns/net)" ]; do
    tries=$((tries + 1)); [ $tries -lt 1000 ]; sleep 0.01
done
)sh" + Beside(pidFile) + R"sh(
far ip link set lo up
far sh -c 'echo 0 > /proc/sys/net/ipv6/conf/default/accept_dad'
far ip addr add 203.0.113.9/32 dev lo
far ip -6 addr add 2001:db8:9::9/128 dev lo
)sh" + VethPair("backup", "192.0.2", "2001:db8:2") +
                         R"sh(
ip route add default via 192.0.2.2 metric 100
ip -6 route add default via 2001:db8:2::2 metric 100
ip rule add from 198.51.100.1 table 100
ip -6 rule add from 2001:db8:1::1 table 100
)sh" + AwaitLocalIpv6Addresses("2001:db8:2::1") +
                         "\nfar sh -c '" + AwaitLocalIpv6Addresses("2001:db8:2::2 2001:db8:9::9") +
                         "'\n";
    if (!backupAnswers)
        script += R"sh(far nft -f - <<'EOF'
table inet far {
    chain input {
        type filter hook input priority 0; policy accept;
        iifname "backup-far" icmp type echo-request drop
        iifname "backup-far" icmpv6 type echo-request drop
    }
}
EOF
)sh";
    if (watchedThere)
        script += AttachWatched(pidFile);
    return script;
}

const char *Target(bool v6)
{
    return v6 ? "2001:db8:9::9" : "203.0.113.9";
}

// What an echo came to, as the watch reads it.
enum class Told
{
    Answered,
    Failed, // counts as a failing cycle
    Blind,  // tells nothing of the line
};

Told Ping(IcmpEchoFacility &facility, bool v6, qint32 timeoutMs = 1000)
{
    EchoReply reply{};
    const EchoHindrance hindrance =
        PingAddress(facility, QString::fromLatin1(Target(v6)), reply, timeoutMs);
    if (hindrance == EchoHindrance::NoPermission || hindrance == EchoHindrance::NoPath)
        return Told::Blind;
    return reply.Status == kEchoSuccess ? Told::Answered : Told::Failed;
}

// What happens to the path between the echoes of a story.
enum class Change
{
    WatchedRemoved,
    WatchedAttached,
    SourceRemoved,
};

std::string CommandFor(Change change, const std::string &pidFile)
{
    switch (change) {
    case Change::WatchedRemoved:
        return "ip link del watched";
    case Change::WatchedAttached:
        return AttachWatched(pidFile);
    case Change::SourceRemoved:
        return "ip addr del 198.51.100.1/24 dev watched; ip -6 addr del 2001:db8:1::1/64 dev "
               "watched";
    }
    return {};
}

// The watched path's own address of the family, or of the other one.
QString WatchedAddress(bool v6)
{
    return v6 ? QStringLiteral("2001:db8:1::1") : QStringLiteral("198.51.100.1");
}

// One echo before the first change, one after it, one after the second.
using Story = std::array<Told, 3>;

} // namespace

Q_DECLARE_METATYPE(SocketChoice)
Q_DECLARE_METATYPE(Change)
Q_DECLARE_METATYPE(Story)
Q_DECLARE_METATYPE(Told)

class TestEchoPinned : public QObject
{
    Q_OBJECT

private:
    static void
    AddSocketRows(const std::function<void(const char *name, SocketChoice choice, bool v6)> &add)
    {
        for (const auto &[name, choice] : {std::pair{"datagram", SocketChoice::DatagramOnly},
                                           std::pair{"raw", SocketChoice::RawOnly}}) {
            for (const bool v6 : {false, true})
                add(name, choice, v6);
        }
    }

    // The work runs beside the far host, which the set-up starts and the work ends.
    template <typename Result, typename Work>
    static NamespaceRun RunBeside(bool backupAnswers, bool watchedThere, Work work, Result &result)
    {
        const QTemporaryDir folder;
        const std::string pidFile = folder.filePath(QStringLiteral("far.pid")).toStdString();
        return RunInOwnNetworkNamespace(
            SetUp(pidFile, backupAnswers, watchedThere),
            [&] {
                const Result done = work(pidFile);
                std::system(("kill \"$(cat " + pidFile + ")\"").c_str());
                return done;
            },
            result);
    }

private Q_SLOTS:
    void init()
    {
        if (const QString reason = OwnNetworkNamespaceUnavailable(); !reason.isEmpty())
            QSKIP(qPrintable(reason));
    }

    // Only an echo that leaves by the watched path is answered. The source address picks
    // the way only together with the rule that routes it; one of the other family binds
    // nothing, and its echo leaves as the routing table chooses.
    void pinnedEchoLeavesByItsPath_data()
    {
        QTest::addColumn<SocketChoice>("choice");
        QTest::addColumn<bool>("v6");
        QTest::addColumn<QString>("interfaceName");
        QTest::addColumn<QString>("source");
        QTest::addColumn<Told>("told");
        AddSocketRows([](const char *name, SocketChoice choice, bool v6) {
            const char *family = v6 ? "IPv6" : "IPv4";
            QTest::addRow("%s %s, not pinned", name, family)
                << choice << v6 << QString() << QString() << Told::Failed;
            QTest::addRow("%s %s, interface", name, family)
                << choice << v6 << QStringLiteral("watched") << QString() << Told::Answered;
            QTest::addRow("%s %s, source address", name, family)
                << choice << v6 << QString() << WatchedAddress(v6) << Told::Answered;
            QTest::addRow("%s %s, source address of the other family", name, family)
                << choice << v6 << QString() << WatchedAddress(!v6) << Told::Failed;
        });
    }
    void pinnedEchoLeavesByItsPath()
    {
        QFETCH(SocketChoice, choice);
        QFETCH(bool, v6);
        QFETCH(QString, interfaceName);
        QFETCH(QString, source);
        QFETCH(Told, told);
        Told echo = Told::Blind;
        const auto work = [&](const std::string &) {
            IcmpEchoFacility facility(choice);
            facility.pinTo(ProbePathOf(interfaceName, source));
            return Ping(facility, v6);
        };
        const NamespaceRun run = RunBeside(false, true, work, echo);
        if (run == NamespaceRun::NoNamespace)
            QSKIP("cannot create a network namespace");
        QCOMPARE(run, NamespaceRun::Ran);
        QCOMPARE(echo, told);
    }

    // The backup answers too, so an echo that fell back to it would be answered. A path
    // that held once and then went fails the echo, as a line that went; one never seen
    // leaves the watch blind. Either way the socket is bound again once it is back.
    void pathThatGoesAndComesBack_data()
    {
        QTest::addColumn<SocketChoice>("choice");
        QTest::addColumn<bool>("v6");
        QTest::addColumn<QString>("interfaceName");
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("watchedAtStart");
        QTest::addColumn<Change>("first");
        QTest::addColumn<Change>("second");
        QTest::addColumn<Story>("expected");
        AddSocketRows([&](const char *name, SocketChoice choice, bool v6) {
            const char *family = v6 ? "IPv6" : "IPv4";
            const QString watched = QStringLiteral("watched");
            QTest::addRow("%s %s: interface removed, then back", name, family)
                << choice << v6 << watched << QString() << true << Change::WatchedRemoved
                << Change::WatchedAttached << Story{Told::Answered, Told::Failed, Told::Answered};
            QTest::addRow("%s %s: interface missing at start, then there", name, family)
                << choice << v6 << watched << QString() << false << Change::WatchedAttached
                << Change::WatchedRemoved << Story{Told::Blind, Told::Answered, Told::Failed};
            QTest::addRow("%s %s: source address missing at start, then there", name, family)
                << choice << v6 << QString() << WatchedAddress(v6) << false
                << Change::WatchedAttached << Change::SourceRemoved
                << Story{Told::Blind, Told::Answered, Told::Failed};
        });
    }
    void pathThatGoesAndComesBack()
    {
        QFETCH(SocketChoice, choice);
        QFETCH(bool, v6);
        QFETCH(QString, interfaceName);
        QFETCH(QString, source);
        QFETCH(bool, watchedAtStart);
        QFETCH(Change, first);
        QFETCH(Change, second);
        QFETCH(Story, expected);
        Story story{};
        const auto work = [&](const std::string &pidFile) {
            IcmpEchoFacility facility(choice);
            facility.pinTo(ProbePathOf(interfaceName, source));
            Story told{};
            told[0] = Ping(facility, v6);
            std::system(CommandFor(first, pidFile).c_str());
            told[1] = Ping(facility, v6);
            std::system(CommandFor(second, pidFile).c_str());
            told[2] = Ping(facility, v6);
            return told;
        };
        const NamespaceRun run = RunBeside(true, watchedAtStart, work, story);
        if (run == NamespaceRun::NoNamespace)
            QSKIP("cannot create a network namespace");
        QCOMPARE(run, NamespaceRun::Ran);
        QCOMPARE(story, expected);
    }
};

QTEST_GUILESS_MAIN(TestEchoPinned)
#include "tst_echo_pinned.moc"
