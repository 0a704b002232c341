#include "TimeTicks.h"

#include <QDateTime>
#include <QStringList>

#include <array>

namespace {

constexpr qint64 kMinuteMs = qint64{60} * 1000;
constexpr int kMostTicks = 8;
// Steps within a day, in minutes: each divides the next larger unit evenly.
constexpr std::array<qint64, 11> kMinuteSteps = {1, 2, 5, 10, 15, 30, 60, 120, 180, 360, 720};
constexpr std::array<int, 3> kDaySteps = {1, 2, 7};
constexpr std::array<int, 4> kMonthSteps = {1, 2, 3, 6};

QList<TimeTick> WithinADay(qint64 fromMs, qint64 toMs, qint64 stepMinutes)
{
    QList<TimeTick> ticks;
    // Counted from each local midnight, so that a step of three hours falls on
    // 00:00, 03:00, ... whatever the zone's offset.
    QDateTime day = QDateTime::fromMSecsSinceEpoch(fromMs).date().startOfDay();
    while (day.toMSecsSinceEpoch() <= toMs) {
        const QDateTime next = day.addDays(1);
        for (QDateTime at = day; at < next; at = at.addSecs(stepMinutes * 60)) {
            const qint64 atMs = at.toMSecsSinceEpoch();
            if (atMs < fromMs || atMs > toMs)
                continue;
            const bool midnight = at.time() == QTime(0, 0);
            ticks.append(
                {atMs, at.toString(midnight ? QStringLiteral("ddd d") : QStringLiteral("HH:mm"))});
        }
        day = next;
    }
    return ticks;
}

QList<TimeTick> Midnights(qint64 fromMs, qint64 toMs, int stepDays)
{
    QList<TimeTick> ticks;
    QDateTime at = QDateTime::fromMSecsSinceEpoch(fromMs).date().startOfDay();
    if (at.toMSecsSinceEpoch() < fromMs)
        at = at.addDays(1);
    for (; at.toMSecsSinceEpoch() <= toMs; at = at.addDays(stepDays))
        ticks.append({at.toMSecsSinceEpoch(), at.toString(QStringLiteral("ddd MMM d"))});
    return ticks;
}

QList<TimeTick> FirstsOfMonths(qint64 fromMs, qint64 toMs, int stepMonths)
{
    QList<TimeTick> ticks;
    const QDate from = QDateTime::fromMSecsSinceEpoch(fromMs).date();
    QDateTime at = QDate(from.year(), from.month(), 1).startOfDay();
    if (at.toMSecsSinceEpoch() < fromMs)
        at = at.addMonths(1);
    for (; at.toMSecsSinceEpoch() <= toMs; at = at.addMonths(stepMonths))
        ticks.append({at.toMSecsSinceEpoch(), at.toString(QStringLiteral("MMM yyyy"))});
    return ticks;
}

} // namespace

namespace {

QList<TimeTick> TicksOfStep(qint64 fromMs, qint64 toMs)
{
    const qint64 spanMs = toMs - fromMs;
    if (spanMs <= 0)
        return {};
    for (const qint64 minutes : kMinuteSteps) {
        if (spanMs / (minutes * kMinuteMs) <= kMostTicks)
            return WithinADay(fromMs, toMs, minutes);
    }
    for (const int days : kDaySteps) {
        if (spanMs / (qint64{days} * 24 * 60 * kMinuteMs) <= kMostTicks)
            return Midnights(fromMs, toMs, days);
    }
    for (const int months : kMonthSteps) {
        if (spanMs / (qint64{months} * 31 * 24 * 60 * kMinuteMs) <= kMostTicks)
            return FirstsOfMonths(fromMs, toMs, months);
    }
    return FirstsOfMonths(fromMs, toMs, 12);
}

} // namespace

QList<TimeTick> RoundTimeTicks(qint64 fromMs, qint64 toMs)
{
    // A span of a little over a day can meet the same time of day twice.
    QList<TimeTick> ticks = TicksOfStep(fromMs, toMs);
    QStringList seen;
    for (TimeTick &tick : ticks) {
        if (seen.contains(tick.label))
            tick.label =
                QDateTime::fromMSecsSinceEpoch(tick.atMs).toString(QStringLiteral("ddd HH:mm"));
        seen.append(tick.label);
    }
    return ticks;
}
