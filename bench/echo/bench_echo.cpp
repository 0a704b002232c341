// Measures the echo probe: its CPU cost against a run of the ping program, and how
// closely a probe to a dropped address keeps its time-out. The second part runs
// inside a network namespace of its own (this program re-runs itself under
// `unshare -n`), so the dropped echoes never leave the machine.

#include "IcmpEchoFacility.h"
#include "Module1.h"

#include <QStandardPaths>
#include <QString>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kProbeCount = 2000;
constexpr int kPingRuns = 20;
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

void MeasureCpuCost()
{
    IcmpEchoFacility facility;
    EchoReply reply{};
    PingAddress(facility, QStringLiteral("127.0.0.1"), reply, 1000);
    if (reply.Status != kEchoSuccess) {
        std::printf("Probe to 127.0.0.1 failed: %s\n", qPrintable(EchoStatusText(reply.Status)));
        return;
    }

    int failures = 0;
    const double probeStart = CpuMicroseconds(RUSAGE_SELF);
    for (int probe = 0; probe < kProbeCount; ++probe) {
        reply = EchoReply{};
        PingAddress(facility, QStringLiteral("127.0.0.1"), reply, 1000);
        failures += reply.Status != kEchoSuccess;
    }
    const double perProbe = (CpuMicroseconds(RUSAGE_SELF) - probeStart) / kProbeCount;
    std::printf("Echo probe to 127.0.0.1: %.1f us CPU (user+sys) per probe, mean of %d"
                " (%d failed)\n",
                perProbe, kProbeCount, failures);

    if (QStandardPaths::findExecutable(QStringLiteral("ping")).isEmpty()) {
        std::printf("ping is not installed: no comparison"
                    " (apt-get install iputils-ping provides it)\n");
        return;
    }
    int pingFailures = 0;
    const double pingStart = CpuMicroseconds(RUSAGE_CHILDREN);
    for (int run = 0; run < kPingRuns; ++run)
        pingFailures += RunQuietly({"ping", "-c1", "-W1", "127.0.0.1"}) != 0;
    const double perPing = (CpuMicroseconds(RUSAGE_CHILDREN) - pingStart) / kPingRuns;
    std::printf("ping -c1 -W1 127.0.0.1 as a process: %.1f us CPU (user+sys) per run,"
                " mean of %d (%d failed)\n",
                perPing, kPingRuns, pingFailures);
    const double ratio = perPing / std::max(perProbe, 0.001);
    std::printf("The probe is %.0f times cheaper (target: at least 20): %s\n", ratio,
                ratio >= 20 ? "met" : "NOT MET");
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Runs inside the private namespace: loopback up, echo requests to 127.0.0.2
// dropped in the input hook, then probes with several time-outs.
int MeasureDroppedTimeouts()
{
    if (RunQuietly({"ip", "link", "set", "lo", "up"}) != 0) {
        std::printf("Time-out part skipped: cannot bring loopback up with ip\n");
        return 1;
    }
    if (RunQuietly({"nft", "add table ip echobench"}) != 0 ||
        RunQuietly({"nft", "add chain ip echobench input"
                           " { type filter hook input priority 0; policy accept; }"}) != 0 ||
        RunQuietly({"nft", "add rule ip echobench input ip daddr 127.0.0.2"
                           " icmp type echo-request drop"}) != 0) {
        std::printf("Time-out part skipped: cannot load nft rules\n");
        return 1;
    }

    struct Series
    {
        qint32 timeoutMs;
        int runs;
    };
    const Series series[] = {{100, 21}, {500, 9}, {2000, 5}};
    bool neverEarly = true;
    bool mediansWithinTarget = true;
    IcmpEchoFacility facility;
    std::printf("Dropped address 127.0.0.2 inside a private namespace, time past the time-out:\n");
    for (const Series &each : series) {
        std::vector<double> latenessMs;
        int wrongStatus = 0;
        for (int run = 0; run < each.runs; ++run) {
            EchoReply reply{};
            const Clock::time_point start = Clock::now();
            PingAddress(facility, QStringLiteral("127.0.0.2"), reply, each.timeoutMs);
            const std::chrono::duration<double, std::milli> elapsed = Clock::now() - start;
            latenessMs.push_back(elapsed.count() - each.timeoutMs);
            wrongStatus += reply.Status != kEchoTimedOut;
        }
        const double earliest = *std::min_element(latenessMs.begin(), latenessMs.end());
        const double largest = *std::max_element(latenessMs.begin(), latenessMs.end());
        const double median = Median(latenessMs);
        neverEarly = neverEarly && earliest >= 0;
        mediansWithinTarget = mediansWithinTarget && median <= 5;
        std::printf("  time-out %4d ms, %2d runs: median %.3f ms late, largest %.3f ms,"
                    " earliest %.3f ms%s\n",
                    each.timeoutMs, each.runs, median, largest, earliest,
                    wrongStatus ? " (some runs did not time out)" : "");
    }
    std::printf("Never early, median at most 5 ms late (target): %s\n",
                neverEarly && mediansWithinTarget ? "met" : "NOT MET");
    return 0;
}

void MeasureInNamespace()
{
    std::fflush(stdout);
    if (::geteuid() != 0) {
        std::printf("Time-out part skipped: creating a network namespace needs root\n");
        return;
    }
    // The path of this program as a file: /proc/self would name unshare by then.
    char self[4096] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) {
        std::printf("Time-out part skipped: cannot find this program's path\n");
        return;
    }
    const char *argv[] = {"unshare", "-n", self, kInsideNamespaceArgument, nullptr};
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
        return MeasureDroppedTimeouts();
    MeasureCpuCost();
    MeasureInNamespace();
    return 0;
}
