// Measures the echo probe: its CPU cost against a run of the ping program, for IPv4
// and IPv6, and how closely a probe keeps its time-out when the echo is dropped or
// the DNS server never answers. The second part runs inside network and mount
// namespaces of its own (this program re-runs itself under `unshare -m -n`), so the
// dropped echoes never leave the machine and the only DNS server there is the silent
// one this program plays on 127.0.0.1.

#include "EchoProbe.h"
#include "EchoSocket.h"
#include "Icmp6Packet.h"
#include "IcmpEchoFacility.h"
#include "IcmpPacket.h"
#include "ProbePath.h"
#include "ProbeTarget.h"
#include "ResolverSandbox.h"

#include <QStandardPaths>
#include <QString>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kProbeCount = 20000;
constexpr int kPingRuns = 50;
constexpr const char *kInsideNamespaceArgument = "--inside-namespace";

double CpuMicroseconds(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    const auto microseconds = [](const timeval &time) {
        return double(time.tv_sec) * 1e6 + double(time.tv_usec);
    };
    return microseconds(usage.ru_utime) + microseconds(usage.ru_stime);
}

// Runs a program with its output discarded and waits for it; gives its exit code,
// or -1 when it could not be started.
int RunQuietly(const std::vector<const char *> &arguments)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char *> argv;
    argv.reserve(arguments.size() + 1);
    for (const char *argument : arguments)
        argv.push_back(const_cast<char *>(argument));
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The CPU cost of the three system calls an echo cannot do without (send, wait,
// receive) on a socket of the probe's own kind, with nothing around them: the
// kernel's share of a probe, its own echo work on loopback included. 0 when no
// socket opens or the loopback does not answer.
double BareCallsMicroseconds(const IpAddress &loopback)
{
    const EchoSocketOpening opening = OpenEchoSocket(
        loopback.isV6() ? AF_INET6 : AF_INET, {{EchoSocketKind::Datagram, EchoSocketKind::Raw}, 2});
    const std::optional<quint16> identifier =
        opening.socket ? PrepareEchoSocket(*opening.socket, ProbePath{}).identifier : std::nullopt;
    if (!identifier)
        return 0;
    const QByteArray request = loopback.isV6() ? BuildEcho6Request(*identifier, 1, "Echo This")
                                               : BuildEchoRequest(*identifier, 1, "Echo This");
    const SocketAddress to = SocketAddressOf(loopback);
    const int descriptor = opening.socket->handle.get();
    char buffer[2048];
    const timespec second{1, 0};
    const double start = CpuMicroseconds(RUSAGE_SELF);
    for (int probe = 0; probe < kProbeCount; ++probe) {
        pollfd watched{descriptor, POLLIN, 0};
        if (::sendto(descriptor, request.constData(), std::size_t(request.size()), 0,
                     reinterpret_cast<const sockaddr *>(&to.storage), to.length) < 0 ||
            ::ppoll(&watched, 1, &second, nullptr) != 1 ||
            ::recv(descriptor, buffer, sizeof buffer, MSG_DONTWAIT) < 0)
            return 0;
    }
    return (CpuMicroseconds(RUSAGE_SELF) - start) / kProbeCount;
}

// One probe's CPU cost against one run of the ping program with pingArguments.
void MeasureCpuCost(const char *address, const std::vector<const char *> &pingArguments)
{
    const QString target = QString::fromLatin1(address);
    IcmpEchoFacility facility;
    EchoReply reply{};
    PingAddress(facility, target, reply, 1000);
    if (reply.Status != kEchoSuccess) {
        std::printf("Probe to %s failed: %s\n", address, qPrintable(EchoStatusText(reply.Status)));
        return;
    }

    int failures = 0;
    const double probeStart = CpuMicroseconds(RUSAGE_SELF);
    for (int probe = 0; probe < kProbeCount; ++probe) {
        reply = EchoReply{};
        PingAddress(facility, target, reply, 1000);
        failures += reply.Status != kEchoSuccess;
    }
    const double perProbe = (CpuMicroseconds(RUSAGE_SELF) - probeStart) / kProbeCount;
    std::printf("Echo probe to %s: %.1f us CPU (user+sys) per probe, mean of %d"
                " (%d failed)\n",
                address, perProbe, kProbeCount, failures);

    if (QStandardPaths::findExecutable(QStringLiteral("ping")).isEmpty()) {
        std::printf("ping is not installed: no comparison"
                    " (apt-get install iputils-ping provides it)\n");
        return;
    }
    std::string command;
    for (const char *argument : pingArguments)
        command += std::string(command.empty() ? "" : " ") + argument;
    int pingFailures = 0;
    const double pingStart = CpuMicroseconds(RUSAGE_CHILDREN);
    for (int run = 0; run < kPingRuns; ++run)
        pingFailures += RunQuietly(pingArguments) != 0;
    const double perPing = (CpuMicroseconds(RUSAGE_CHILDREN) - pingStart) / kPingRuns;
    std::printf("%s as a process: %.1f us CPU (user+sys) per run,"
                " mean of %d (%d failed)\n",
                command.c_str(), perPing, kPingRuns, pingFailures);
    const double ratio = perPing / std::max(perProbe, 0.001);
    std::printf("The probe is %.0f times cheaper (target: at least 200): %s\n", ratio,
                ratio >= 200 ? "met" : "NOT MET");
    const double bare = BareCallsMicroseconds(ParseProbeTarget(target).address);
    if (bare > 0)
        std::printf("  Its send, wait and receive alone: %.1f us CPU, which bounds the ratio"
                    " at %.0f\n",
                    bare, perPing / bare);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Series
{
    qint32 timeoutMs;
    int runs;
};
constexpr Series kSeries[] = {{100, 21}, {500, 9}, {2000, 5}};

// Probes address with each series' time-out and prints how late the probes
// returned. True when none was early and every median is within targetMs.
bool MeasureLateness(const char *address, quint32 expectedStatus, double targetMs)
{
    bool neverEarly = true;
    bool mediansWithinTarget = true;
    IcmpEchoFacility facility;
    for (const Series &each : kSeries) {
        std::vector<double> latenessMs;
        int wrongStatus = 0;
        for (int run = 0; run < each.runs; ++run) {
            EchoReply reply{};
            const Clock::time_point start = Clock::now();
            PingAddress(facility, QString::fromLatin1(address), reply, each.timeoutMs);
            const std::chrono::duration<double, std::milli> elapsed = Clock::now() - start;
            latenessMs.push_back(elapsed.count() - each.timeoutMs);
            wrongStatus += reply.Status != expectedStatus;
        }
        const double earliest = *std::min_element(latenessMs.begin(), latenessMs.end());
        const double largest = *std::max_element(latenessMs.begin(), latenessMs.end());
        const double median = Median(latenessMs);
        neverEarly = neverEarly && earliest >= 0;
        mediansWithinTarget = mediansWithinTarget && median <= targetMs;
        std::printf("  time-out %4d ms, %2d runs: median %.3f ms late, largest %.3f ms,"
                    " earliest %.3f ms%s\n",
                    each.timeoutMs, each.runs, median, largest, earliest,
                    wrongStatus ? " (some runs gave another status)" : "");
    }
    std::printf("Never early, median at most %.0f ms late (target): %s\n", targetMs,
                neverEarly && mediansWithinTarget ? "met" : "NOT MET");
    return neverEarly && mediansWithinTarget;
}

// Runs inside the private namespaces: echo requests to 127.0.0.2 and 2001:db8::2
// dropped in the input hook, and a DNS server that never answers.
int MeasureTimeouts()
{
    const std::string sandboxFailure = ResolverSandbox::Enter();
    if (!sandboxFailure.empty()) {
        std::printf("Time-out part skipped: %s\n", sandboxFailure.c_str());
        return 1;
    }
    if (RunQuietly({"ip", "-6", "addr", "add", "2001:db8::2/128", "dev", "lo", "nodad"}) != 0) {
        std::printf("Time-out part skipped: cannot add 2001:db8::2 to loopback\n");
        return 1;
    }
    if (RunQuietly({"nft", "add table inet echobench"}) != 0 ||
        RunQuietly({"nft", "add chain inet echobench input"
                           " { type filter hook input priority 0; policy accept; }"}) != 0 ||
        RunQuietly({"nft", "add rule inet echobench input ip daddr 127.0.0.2"
                           " icmp type echo-request drop"}) != 0 ||
        RunQuietly({"nft", "add rule inet echobench input ip6 daddr 2001:db8::2"
                           " icmpv6 type echo-request drop"}) != 0) {
        std::printf("Time-out part skipped: cannot load nft rules\n");
        return 1;
    }
    ResolverSandbox::DnsResponder responder;
    if (!responder.isBound()) {
        std::printf("Time-out part skipped: cannot bind a DNS server to 127.0.0.1:53\n");
        return 1;
    }
    responder.stayQuiet("silent.corvane.test");
    responder.start();

    std::printf("Dropped address 127.0.0.2 inside a private namespace, time past the time-out:\n");
    MeasureLateness("127.0.0.2", kEchoTimedOut, 5);
    std::printf("Dropped address 2001:db8::2 inside a private namespace, time past the"
                " time-out:\n");
    MeasureLateness("2001:db8::2", kEchoTimedOut, 5);
    std::printf("Name whose DNS server never answers, time past the time-out:\n");
    MeasureLateness("silent.corvane.test", kEchoTimedOut, 20);
    return 0;
}

void MeasureInNamespace()
{
    std::fflush(stdout);
    if (::geteuid() != 0) {
        std::printf("Time-out part skipped: creating network and mount namespaces needs root\n");
        return;
    }
    // The path of this program as a file: /proc/self would name unshare by then.
    char self[4096] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) {
        std::printf("Time-out part skipped: cannot find this program's path\n");
        return;
    }
    const char *argv[] = {"unshare", "-m", "-n", self, kInsideNamespaceArgument, nullptr};
    pid_t child = 0;
    if (::posix_spawnp(&child, "unshare", nullptr, nullptr, const_cast<char **>(argv), environ) !=
        0) {
        std::printf("Time-out part skipped: the unshare program is missing\n");
        return;
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::printf("Time-out part did not complete (see above)\n");
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && std::strcmp(argv[1], kInsideNamespaceArgument) == 0)
        return MeasureTimeouts();
    MeasureCpuCost("127.0.0.1", {"ping", "-c1", "-W1", "127.0.0.1"});
    MeasureCpuCost("::1", {"ping", "-6", "-c1", "::1"});
    MeasureInNamespace();
    return 0;
}
