// From the router's acknowledgement to its log entry: after each fail command the
// router answers at a random moment of the receive poll's second, and the time until
// "Router acknowledged the fail command." is written is measured. The poll runs once
// a second, as in the program, so the figure is bounded by that second.
#include "ActionSafety.h"
#include "LinkBenchRig.h"
#include "SystemClock.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;

// The rig's log, with the moment each acknowledgement was written.
class TimedLog final : public LogWriter
{
public:
    void WriteLog(const QString &message, bool, bool, const QString &) override
    {
        if (message.startsWith(QStringLiteral("Router acknowledged")))
            acknowledged.push_back(Steady::now());
    }
    void WriteReceived(const QByteArray &, bool) override {}
    std::vector<Steady::time_point> acknowledged;
};

class NoTip final : public TrayTip
{
public:
    void UpdateTrayTip(const QString &) override {}
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption roundsOption(QStringLiteral("rounds"),
                                          QStringLiteral("Fail commands acknowledged (20)."),
                                          QStringLiteral("count"), QStringLiteral("20"));
    parser.addOption(roundsOption);
    parser.process(application);
    const int rounds = parser.value(roundsOption).toInt();
    if (rounds <= 0)
        parser.showHelp(1);

    LinkBenchRig rig;
    if (!rig.terminal.isValid() || rig.link.OpenCommPort()) {
        std::fprintf(stderr, "no pseudo-terminal for the router\n");
        return 1;
    }
    TimedLog log;
    NoTip tip;
    SystemClock clock;
    ActionSafety safety(
        tip, [] { return QString(); }, log, clock);
    safety.options().ackPattern = QStringLiteral("reset (done|ok)");
    rig.events.listen(safety);

    QTimer receiveTimer;
    receiveTimer.setInterval(1000);
    QObject::connect(&receiveTimer, &QTimer::timeout, [&] {
        rig.link.PollReceive();
        safety.Tick();
    });
    receiveTimer.start();

    std::vector<double> latenciesMs;
    std::vector<Steady::time_point> answered;
    std::thread router;
    int round = 0;
    // Each round: the fail command goes out, and the router answers from its own
    // thread at a random moment while the event loop polls on; the next round
    // begins once the acknowledgement is logged.
    std::function<void()> nextRound = [&] {
        if (router.joinable())
            router.join();
        if (round == rounds) {
            QCoreApplication::quit();
            return;
        }
        ++round;
        rig.link.SendCommand(QStringLiteral("^m"));
        rig.events.commandSent(CommandKind::Fail, QStringLiteral("^m"));
        const int delayMs = 100 + QRandomGenerator::global()->bounded(1500);
        router = std::thread([&rig, &answered, delayMs] {
            rig.terminal.receive(20);
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            answered.push_back(Steady::now());
            rig.terminal.send("\r\nreset done\r\nRouter>");
        });
        const size_t waitingFor = latenciesMs.size() + 1;
        auto *waiting = new QTimer(&application);
        waiting->setInterval(10);
        QObject::connect(waiting, &QTimer::timeout, [&, waiting, waitingFor] {
            if (log.acknowledged.size() < waitingFor)
                return;
            waiting->deleteLater();
            router.join();
            latenciesMs.push_back(
                std::chrono::duration<double, std::milli>(log.acknowledged.back() - answered.back())
                    .count());
            nextRound();
        });
        waiting->start();
    };
    QTimer::singleShot(0, nextRound);
    application.exec();

    std::sort(latenciesMs.begin(), latenciesMs.end());
    const double median = latenciesMs[latenciesMs.size() / 2];
    std::printf("%zu acknowledgements from the router's bytes to the log entry, polled once a "
                "second:\n",
                latenciesMs.size());
    std::printf("  fastest %.1f ms, median %.1f ms, slowest %.1f ms (target: under 1100 ms)\n",
                latenciesMs.front(), median, latenciesMs.back());
    return latenciesMs.back() < 1100 && rig.boxes.shown == 0 ? 0 : 1;
}
