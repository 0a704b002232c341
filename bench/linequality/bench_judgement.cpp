// What a cycle's judgement of an address costs: limits off (one answer decides, as
// without the keys), and on with windows of 10 and 100 cycles, over a line that loses
// one echo in seven and answers in 5 to 2000 ms. Prints the mean time per judgement;
// the judgement makes no system call, and its memory does not grow with the rounds.
#include "LineQuality.h"
#include "LogWriter.h"
#include "Options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace {

class NoLog final : public LogWriter
{
public:
    void WriteLog(const QString &, bool, bool, const QString &) override {}
    void WriteReceived(const QByteArray &, bool) override {}
};

double NanosecondsPerJudgement(const Options &options, qint64 rounds)
{
    NoLog log;
    LineQuality quality(options, log);
    ProbeReport probe;
    probe.address = QStringLiteral("192.0.2.1");
    probe.echoes = 1;
    qint64 passed = 0;
    QElapsedTimer timer;
    timer.start();
    for (qint64 round = 0; round < rounds; ++round) {
        probe.status = round % 7 == 0 ? 11010 : 0;
        probe.roundTripMs = qint32(5 + (round * 7919) % 1996);
        passed += quality.Judge(ProbedAddress::Primary, probe, round % 2 == 0).standing ==
                  AddressStanding::Passes;
    }
    const qint64 elapsed = timer.nsecsElapsed();
    // Keeps the loop from being optimised away.
    if (passed < 0)
        std::puts("");
    return double(elapsed) / double(rounds);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption roundsOption(QStringLiteral("rounds"),
                                          QStringLiteral("Judgements per setting (1000000)."),
                                          QStringLiteral("count"), QStringLiteral("1000000"));
    parser.addOption(roundsOption);
    parser.process(application);
    const qint64 rounds = parser.value(roundsOption).toLongLong();
    if (rounds <= 0)
        parser.showHelp(1);

    Options off;
    Options on10;
    on10.failLossPercent = 40;
    on10.recoverLossPercent = 10;
    on10.failLatencyMs = 1000;
    on10.recoverLatencyMs = 500;
    Options on100 = on10;
    on100.lossWindowCycles = 100;
    std::printf("limits off: %.0f ns per judgement\n", NanosecondsPerJudgement(off, rounds));
    std::printf("window 10: %.0f ns per judgement\n", NanosecondsPerJudgement(on10, rounds));
    std::printf("window 100: %.0f ns per judgement\n", NanosecondsPerJudgement(on100, rounds));
    return 0;
}
