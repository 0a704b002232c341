#include "MonitoredTime.h"

#include <algorithm>

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

// Gaps in the cycles, up to nowMs.
QList<TimeSpan> GapsInCycles(const HistoryRange &range, qint64 nowMs)
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

bool Meet(const TimeSpan &one, const TimeSpan &other)
{
    return one.fromMs <= other.toMs && other.fromMs <= one.toMs;
}

// Sorted, with those that touch or overlap joined.
QList<TimeSpan> Merged(QList<TimeSpan> spans)
{
    std::sort(spans.begin(), spans.end(),
              [](const TimeSpan &one, const TimeSpan &other) { return one.fromMs < other.fromMs; });
    QList<TimeSpan> merged;
    for (const TimeSpan &span : std::as_const(spans)) {
        if (!merged.isEmpty() && span.fromMs <= merged.last().toMs)
            merged.last().toMs = std::max(merged.last().toMs, span.toMs);
        else
            merged.append(span);
    }
    return merged;
}

} // namespace

QList<TimeSpan> NotMonitoredSpans(const HistoryRange &range, qint64 nowMs)
{
    const qint64 endMs = std::min(range.toMs, nowMs);
    QList<TimeSpan> recorded;
    for (const TimeSpan &span : range.notMonitored) {
        const TimeSpan cut{std::max(span.fromMs, range.fromMs), std::min(span.toMs, endMs)};
        if (cut.fromMs < cut.toMs)
            recorded.append(cut);
    }
    // Where a stop or a start was recorded, that is when watching ended and began, more
    // closely than the cycles around it tell.
    QList<TimeSpan> spans = recorded;
    for (const TimeSpan &gap : GapsInCycles(range, nowMs)) {
        if (std::none_of(recorded.begin(), recorded.end(),
                         [&gap](const TimeSpan &span) { return Meet(span, gap); }))
            spans.append(gap);
    }
    return Merged(spans);
}

qint64 TotalMs(const QList<TimeSpan> &spans)
{
    qint64 total = 0;
    for (const TimeSpan &span : spans)
        total += span.toMs - span.fromMs;
    return total;
}

QList<TimeSpan> ShadedSpans(const QList<TimeSpan> &spans, qint64 narrowestMs, qint64 fromMs,
                            qint64 toMs)
{
    QList<TimeSpan> shaded;
    for (TimeSpan span : spans) {
        span.fromMs = std::max(span.fromMs, fromMs);
        span.toMs = std::min(span.toMs, toMs);
        if (span.fromMs > span.toMs)
            continue;
        span.toMs = std::max(span.toMs, span.fromMs + narrowestMs);
        if (span.toMs > toMs) {
            span.fromMs = std::max(fromMs, toMs - narrowestMs);
            span.toMs = toMs;
        }
        shaded.append(span);
    }
    return Merged(shaded);
}
