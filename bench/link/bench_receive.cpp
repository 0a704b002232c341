// Receive without loss: the router writes continuously at the byte rate of a
// 9600-baud line while the receive poll runs once a second, as in the program.
// Every byte must reach the log, in order.
#include "LinkBenchRig.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <thread>

namespace {

constexpr int kBytesPerSecond = 960;

// Skips the codes the poll strips from the start of a chunk, and covers every
// other byte value, the upper half of Latin-1 included.
char SequenceByte(qint64 index)
{
    return static_cast<char>(27 + index % 229);
}

double ThreadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption durationOption(QStringLiteral("duration"),
                                            QStringLiteral("Seconds the router sends (120)."),
                                            QStringLiteral("seconds"), QStringLiteral("120"));
    parser.addOption(durationOption);
    parser.process(application);
    const int durationSeconds = parser.value(durationOption).toInt();
    if (durationSeconds <= 0)
        parser.showHelp(1);

    LinkBenchRig rig;
    if (!rig.terminal.isValid() || rig.link.OpenCommPort()) {
        std::fprintf(stderr, "no pseudo-terminal to receive from\n");
        return 1;
    }

    std::atomic<qint64> sent{0};
    std::thread router([&] {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < durationSeconds * 1000LL) {
            const qint64 due = clock.elapsed() * kBytesPerSecond / 1000;
            QByteArray bytes;
            for (qint64 index = sent.load(); index < due; ++index)
                bytes.append(SequenceByte(index));
            if (!bytes.isEmpty() && rig.terminal.send(bytes))
                sent += bytes.size();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });

    double pollMs = 0;
    int polls = 0;
    QTimer receiveTimer;
    receiveTimer.setInterval(1000);
    QObject::connect(&receiveTimer, &QTimer::timeout, [&] {
        QElapsedTimer polling;
        polling.start();
        rig.link.PollReceive();
        pollMs += polling.nsecsElapsed() / 1e6;
        ++polls;
    });
    receiveTimer.start();

    QElapsedTimer wall;
    wall.start();
    const double cpuStart = ThreadCpuMs();
    // Two more ticks after the router stops, for what is still on its way.
    QTimer::singleShot(durationSeconds * 1000 + 2500, &application, &QCoreApplication::quit);
    application.exec();
    const double wallMs = wall.nsecsElapsed() / 1e6;
    const double cpuMs = ThreadCpuMs() - cpuStart;
    router.join();

    const QByteArray &logged = rig.log.bytes;
    qint64 firstDifference = -1;
    for (qint64 i = 0; i < qMin<qint64>(logged.size(), sent.load()); ++i) {
        if (logged[i] != SequenceByte(i)) {
            firstDifference = i;
            break;
        }
    }
    const bool complete = logged.size() == sent.load() && firstDifference < 0;
    std::printf("router sent %lld bytes in %d s; the log holds %lld bytes in %d entries\n",
                static_cast<long long>(sent.load()), durationSeconds,
                static_cast<long long>(logged.size()), rig.log.entries);
    std::printf("%s", complete ? "every byte logged, in order\n" : "BYTES LOST OR OUT OF ORDER\n");
    if (firstDifference >= 0)
        std::printf("first difference at byte %lld\n", static_cast<long long>(firstDifference));
    std::printf("logged %.1f bytes/s of sending (the router's rate is %d bytes/s)\n",
                static_cast<double>(logged.size()) / durationSeconds, kBytesPerSecond);
    std::printf("%d polls, %.3f ms each on average\n", polls, polls ? pollMs / polls : 0.0);
    std::printf("CPU share of the polling thread (polls and port reads): %.3f %%\n",
                100 * cpuMs / wallMs);
    return complete && rig.boxes.shown == 0 ? 0 : 1;
}
