// Pacing of a command at the far end of a pseudo-terminal: every gap between two
// bytes as the router sees it, against the nominal pause after the first of them.
#include "CaretNotation.h"
#include "LinkBenchRig.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

int NominalGapMs(GapAfter gap)
{
    return gap == GapAfter::Long ? 270 : gap == GapAfter::Short ? 20 : 0;
}

struct Run
{
    double sendMs = 0;
    std::vector<double> deviationsMs;
};

Run SendOnce(LinkBenchRig &rig, const QString &command, bool printGaps)
{
    const QList<CommandByte> bytes = DecodeCommand(command);
    Run run;
    const std::vector<SteadyTime> arrivals = RecordArrivals(rig.terminal, [&] {
        QElapsedTimer sending;
        sending.start();
        rig.link.SendCommand(command);
        run.sendMs = static_cast<double>(sending.nsecsElapsed()) / 1e6;
    });
    if (arrivals.size() != static_cast<size_t>(bytes.size())) {
        std::printf("  expected %lld bytes, the router got %zu\n",
                    static_cast<long long>(bytes.size()), arrivals.size());
        return run;
    }
    for (size_t i = 0; i + 1 < arrivals.size(); ++i) {
        const double gapMs =
            std::chrono::duration<double, std::milli>(arrivals[i + 1] - arrivals[i]).count();
        const int nominal = NominalGapMs(bytes[static_cast<qsizetype>(i)].gap);
        run.deviationsMs.push_back(gapMs - nominal);
        if (printGaps)
            std::printf("  byte %2zu (%3d) -> next: %7.2f ms, nominal %3d, deviation %+6.2f\n", i,
                        static_cast<unsigned char>(bytes[static_cast<qsizetype>(i)].byte), gapMs,
                        nominal, gapMs - nominal);
    }
    return run;
}

void Report(LinkBenchRig &rig, const QString &command, int repetitions, double nominalTotalMs)
{
    std::printf("\"%s\" (%lld characters), %d sends\n", qPrintable(command),
                static_cast<long long>(command.size()), repetitions);
    std::vector<double> deviations;
    std::vector<double> totals;
    for (int i = 0; i < repetitions; ++i) {
        const Run run = SendOnce(rig, command, i == 0);
        deviations.insert(deviations.end(), run.deviationsMs.begin(), run.deviationsMs.end());
        totals.push_back(run.sendMs);
    }
    if (deviations.empty())
        return;
    std::vector<double> magnitudes;
    magnitudes.reserve(deviations.size());
    for (const double deviation : deviations)
        magnitudes.push_back(std::fabs(deviation));
    std::sort(magnitudes.begin(), magnitudes.end());
    std::sort(totals.begin(), totals.end());
    std::printf("  gaps: %zu, median |deviation| %.2f ms, largest %.2f ms\n", magnitudes.size(),
                magnitudes[magnitudes.size() / 2], magnitudes.back());
    // A gap cut short comes from the sender, or from a reader late for the byte before
    // it; a stretched one mostly from the scheduler. Apart, the two say which it was.
    const auto [earliest, latest] = std::minmax_element(deviations.begin(), deviations.end());
    std::printf("  shortest gap %+.2f ms from nominal, longest %+.2f ms\n", *earliest, *latest);
    std::printf("  send time: nominal %.0f ms, min %.2f, median %.2f, max %.2f ms\n\n",
                nominalTotalMs, totals.front(), totals[totals.size() / 2], totals.back());
}

double NominalTotalMs(const QString &command)
{
    double total = 0;
    for (const CommandByte &next : DecodeCommand(command))
        total += NominalGapMs(next.gap);
    return total;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    LinkBenchRig rig;
    if (!rig.terminal.isValid() || rig.link.OpenCommPort()) {
        std::fprintf(stderr, "no pseudo-terminal to send to\n");
        return 1;
    }
    const QString failCommand = QStringLiteral("^m^m");
    // Forty characters of a console session: log in, a command, escape and control-C.
    const QString session = QStringLiteral("admin^mpassw0rd^mshow ip^[[A^c^jexit^m^m");
    Report(rig, failCommand, 10, NominalTotalMs(failCommand));
    Report(rig, session, 3, NominalTotalMs(session));
    return rig.boxes.shown == 0 ? 0 : 1;
}
