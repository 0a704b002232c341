#pragma once

#include "HistorySource.h"

#include <QList>

// The parts of a range that nobody watched, up to nowMs, merged and oldest first: every
// span the history recorded between a stop (or a monitor's last cycle) and the next
// start, however short, and the gaps in the cycles that no such span explains, where
// the machine slept. The store keeps cycles, not sleeps, so such a gap counts only
// when it is far longer than the usual step between the range's cycles (the period,
// or the width of the plot's folding), and never shorter than a few minutes.
QList<TimeSpan> NotMonitoredSpans(const HistoryRange &range, qint64 nowMs);

qint64 TotalMs(const QList<TimeSpan> &spans);

// The spans as they are shaded: cut to [fromMs, toMs], each at least narrowestMs wide
// (moved back from toMs where that would pass it), and those that then touch or
// overlap joined, so that the outline drawn from them never runs back in time.
QList<TimeSpan> ShadedSpans(const QList<TimeSpan> &spans, qint64 narrowestMs, qint64 fromMs,
                            qint64 toMs);
