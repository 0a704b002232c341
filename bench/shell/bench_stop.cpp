// Measures how long the running program takes to end after SIGTERM while it sits in
// its longest waits, headless:
//  (a) a 30-second probe to an address that never answers, inside a network
//      namespace of its own (needs root; skipped otherwise);
//  (b) a scheduled command of 2,000 carriage returns, paced at 270 ms a byte, going
//      out to a pseudo-terminal.
// Usage: bench_stop [runs of each, default 5]

#include "HeadlessRun.h"
#include "PseudoTerminal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTime>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>

namespace {

constexpr double kTargetMs = 1000;

enum class LongWait
{
    Probe,
    PacedSend,
};

// Milliseconds from SIGTERM to the program's exit, or a negative figure when the
// run could not be made.
double StopTimeMs(LongWait wait)
{
    std::unique_ptr<DeadLineNamespace> deadLine;
    if (wait == LongWait::Probe) {
        deadLine = std::make_unique<DeadLineNamespace>();
        if (!deadLine->isReady())
            return -1;
    }
    PseudoTerminal console;
    HeadlessHome home;
    const QString settings =
        wait == LongWait::Probe
            ? QStringLiteral("AddrPri=127.0.0.2\nAddrSec=127.0.0.3\nPeriod=1\n"
                             "TimeoutPri=30000\nTimeoutSec=30000")
            : QStringLiteral("AddrPri=127.0.0.1\nAddrSec=127.0.0.1\nPeriod=3600\n"
                             "SchedCmd0=%1\nSchedTime0=%2")
                  .arg(QStringLiteral("^m").repeated(2000),
                       QTime::currentTime().toString(QStringLiteral("H:mm:ss")));
    if (!console.isValid() || !home.writeSettings(settings, console.slavePath()))
        return -1;

    QProcess corvane;
    corvane.setProcessEnvironment(home.environment());
    corvane.setStandardErrorFile(QProcess::nullDevice());
    if (deadLine)
        deadLine->start(corvane, QStringLiteral(CORVANE_BINARY), false);
    else
        corvane.start(QStringLiteral(CORVANE_BINARY), {});
    if (!corvane.waitForStarted())
        return -1;

    QElapsedTimer waited;
    waited.start();
    const auto underWay = [&] {
        if (wait == LongWait::PacedSend)
            return !console.receive(0).isEmpty();
        // The first cycle begins a second after the start line.
        return home.log().contains(u"Corvane executable started.") && waited.elapsed() > 2500;
    };
    while (!underWay()) {
        if (waited.elapsed() > 20000)
            return -1;
        QThread::msleep(10);
    }

    QElapsedTimer stopping;
    stopping.start();
    ::kill(static_cast<pid_t>(corvane.processId()), SIGTERM);
    if (!corvane.waitForFinished(60000))
        return -1;
    return static_cast<double>(stopping.nsecsElapsed()) / 1e6;
}

void Report(const char *what, LongWait wait, int runs)
{
    QList<double> times;
    for (int run = 0; run < runs; ++run) {
        const double time = StopTimeMs(wait);
        if (time < 0) {
            std::printf("%s: a run could not be made\n", what);
            return;
        }
        times.append(time);
    }
    std::sort(times.begin(), times.end());
    std::printf("%s: median %.1f ms, largest %.1f ms over %d runs (target < %.0f ms)\n", what,
                times[times.size() / 2], times.back(), runs, kTargetMs);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    bool converted = false;
    const int given = argc > 1 ? QByteArray(argv[1]).toInt(&converted) : 0;
    const int runs = converted && given > 0 ? given : 5;

    std::printf("time from SIGTERM to exit:\n");
    if (const QString reason = NamespaceUnavailableReason(); reason.isEmpty())
        Report("  during a 30-second probe", LongWait::Probe, runs);
    else
        std::printf("  during a 30-second probe: skipped, %s\n", qPrintable(reason));
    Report("  during a paced send of 2,000 carriage returns", LongWait::PacedSend, runs);
    return 0;
}
