// The processor time the port costs where a careless one would spin: a router that
// floods the line faster than the poll takes it, and a router that hangs up, between
// polls or in the middle of a send. The tests check what the port does in each case;
// this measures what it costs.
#include "LinkBenchRig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace {

constexpr qsizetype kFloodBytes = qsizetype{1} << 20;
constexpr int kFloodPollMs = 100;
constexpr int kIdleMs = 1000;

double ProcessCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

void RunEventLoop(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Processor time over wall time while something runs, as a share of one core.
struct Share
{
    double cpuMs = 0;
    double wallMs = 0;
    double percent() const { return wallMs > 0 ? 100 * cpuMs / wallMs : 0; }
};

template <typename Work> Share Measure(Work work)
{
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = ProcessCpuMs();
    work();
    return {ProcessCpuMs() - cpuBefore, wall.nsecsElapsed() / 1e6};
}

bool Open(LinkBenchRig &rig)
{
    if (rig.terminal.isValid() && !rig.link.OpenCommPort())
        return true;
    std::fprintf(stderr, "no pseudo-terminal to work with\n");
    return false;
}

// The router writes 1 MiB as fast as the line takes it; the poll runs every 100 ms.
bool Flood()
{
    LinkBenchRig rig;
    if (!Open(rig))
        return false;
    QByteArray flood;
    for (int line = 0; flood.size() < kFloodBytes; ++line)
        flood += QByteArray::number(line).rightJustified(7, '0') + ' ';
    flood.truncate(kFloodBytes);

    std::thread router;
    const Share share = Measure([&] {
        router = std::thread([&] { rig.terminal.send(flood); });
        while (rig.log.bytes.size() < flood.size()) {
            RunEventLoop(kFloodPollMs);
            rig.link.PollReceive();
        }
    });
    router.join();
    const bool whole = rig.log.bytes == flood;
    std::printf("flood of %lld bytes, polled every %d ms: %s in %.0f ms\n",
                static_cast<long long>(flood.size()), kFloodPollMs,
                whole ? "logged whole" : "NOT LOGGED WHOLE", share.wallMs);
    std::printf("  processor %.0f ms, %.1f %% of a core (target under 25 %%)\n\n", share.cpuMs,
                share.percent());
    return whole;
}

// The router hangs up and the event loop runs on for a second before the next poll.
bool HangUpBetweenPolls()
{
    LinkBenchRig rig;
    if (!Open(rig))
        return false;
    rig.terminal.hangUp();
    const Share share = Measure([] { RunEventLoop(kIdleMs); });
    rig.link.PollReceive();
    std::printf("hang-up between polls, then %d ms of the event loop:\n", kIdleMs);
    std::printf("  processor %.1f ms, %.2f %% of a core (target under 1 %%)\n\n", share.cpuMs,
                share.percent());
    return rig.boxes.shown == 1;
}

// The router hangs up after the second byte of nine; the pauses are real.
bool HangUpDuringSend()
{
    LinkBenchRig rig;
    if (!Open(rig))
        return false;
    const QString command = QStringLiteral("abcdefgh");
    Share send;
    const std::vector<SteadyTime> arrivals = RecordArrivals(
        rig.terminal, [&] { send = Measure([&] { rig.link.SendCommand(command); }); }, 2);
    const Share idle = Measure([] { RunEventLoop(kIdleMs); });
    std::printf("hang-up after %zu bytes of \"%s\": the send took %.1f ms (its pauses 160 ms, "
                "target under 2000 ms)\n",
                arrivals.size(), qPrintable(command), send.wallMs);
    std::printf("  then %d ms of the event loop: processor %.1f ms, %.2f %% of a core (target "
                "under 1 %%)\n\n",
                kIdleMs, idle.cpuMs, idle.percent());
    return rig.boxes.shown == 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const bool flood = Flood();
    const bool between = HangUpBetweenPolls();
    const bool during = HangUpDuringSend();
    return flood && between && during ? 0 : 1;
}
