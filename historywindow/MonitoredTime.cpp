#include "MonitoredTime.h"

#include "DurationText.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace {

// Shorter gaps are a long echo wait or a busy machine, not a watch that stopped.
constexpr qint64 kShortestGapMs = qint64{5} * 60 * 1000;
// How many usual steps a gap must span to count.
constexpr qint64 kStepsInAGap = 4;

QList<qint64> CycleTimes(const HistoryRange &range)
{
    QList<qint64> times = range.failingCycleMs;
    for (const RoundTripPoint &point : range.primary)
        times.append(point.atMs);
    for (const RoundTripPoint &point : range.secondary)
        times.append(point.atMs);
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    return times;
}

qint64 UsualStepMs(const QList<qint64> &times)
{
    QList<qint64> steps;
    for (qsizetype index = 1; index < times.size(); ++index)
        steps.append(times[index] - times[index - 1]);
    if (steps.isEmpty())
        return 0;
    auto middle = steps.begin() + steps.size() / 2;
    std::nth_element(steps.begin(), middle, steps.end());
    return *middle;
}

} // namespace

QList<TimeSpan> UnmonitoredSpans(const HistoryRange &range, qint64 nowMs)
{
    const qint64 endMs = std::min(range.toMs, nowMs);
    const QList<qint64> times = CycleTimes(range);
    if (times.isEmpty()) {
        // Cycles counted without a point to place them are known to have run somewhere
        // in the range, so nothing can be said about where they did not.
        if (range.cycles > 0 || endMs <= range.fromMs)
            return {};
        return {{range.fromMs, endMs}};
    }
    const qint64 gapMs = std::max(kStepsInAGap * UsualStepMs(times), kShortestGapMs);
    QList<TimeSpan> spans;
    if (times.first() - range.fromMs > gapMs)
        spans.append({range.fromMs, times.first()});
    for (qsizetype index = 1; index < times.size(); ++index) {
        if (times[index] - times[index - 1] > gapMs)
            spans.append({times[index - 1], times[index]});
    }
    if (endMs - times.last() > gapMs)
        spans.append({times.last(), endMs});
    return spans;
}

qint64 TotalMs(const QList<TimeSpan> &spans)
{
    qint64 total = 0;
    for (const TimeSpan &span : spans)
        total += span.toMs - span.fromMs;
    return total;
}

QString AvailabilityLine(const HistoryRange &range, const RangeFigures &figures,
                         qint64 unmonitoredMs)
{
    const QString notMonitored =
        unmonitoredMs > 0 ? QStringLiteral("; not monitored: ") + DurationText(unmonitoredMs)
                          : QString();
    if (!figures.availabilityPercent)
        return QStringLiteral("No cycles recorded in this range") + notMonitored;
    // The figures of the ledger read the same in any language: the point and the
    // thousands' comma.
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const double roundedDown = std::floor(*figures.availabilityPercent * 100.0) / 100.0;
    return QStringLiteral("%1 % of the recorded time (%2 of %3 cycles)")
               .arg(english.toString(roundedDown, 'f', 2), english.toString(range.answeredCycles),
                    english.toString(range.cycles)) +
           notMonitored;
}
