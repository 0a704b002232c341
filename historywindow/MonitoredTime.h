#pragma once

#include "HistorySource.h"
#include "LedgerText.h"

#include <QList>

// A span of time, from its first millisecond up to its end.
struct TimeSpan
{
    qint64 fromMs = 0;
    qint64 toMs = 0;
};

// The parts of a range in which no cycle was recorded: Corvane was not running, or
// the machine slept. The store keeps cycles, not runs, so a gap counts when it is
// far longer than the usual step between the range's cycles (the period, or the
// width of the plot's folding), and never shorter than a few minutes. Up to nowMs.
QList<TimeSpan> UnmonitoredSpans(const HistoryRange &range, qint64 nowMs);

qint64 TotalMs(const QList<TimeSpan> &spans);

// "98.14 % of the recorded time (9,894 of 10,081 cycles); not monitored: 7 h 41 min":
// the share of the cycles answered, rounded down so that a range with a failing
// cycle never reads 100 %, and how much of the range nobody watched.
QString AvailabilityLine(const HistoryRange &range, const RangeFigures &figures,
                         qint64 unmonitoredMs);
