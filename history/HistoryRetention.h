#pragma once

#include "HistorySource.h"

#include <QSqlDatabase>
#include <QtGlobal>

// Per-cycle rows are kept this long; the hours they fold into, and the outages, longer.
constexpr qint64 kCycleRetentionMs = 35 * kDayMs;
constexpr qint64 kSummaryRetentionMs = (3 * 365 + 1) * kDayMs;

inline qint64 HourStart(qint64 ms)
{
    return ms - ((ms % kHourMs) + kHourMs) % kHourMs;
}

// The start of the first hour that has no summary yet: every hour before it is summed
// up in the hours table.
qint64 SummarisedUntil(const QSqlDatabase &database);

// One small batch of the retention work, as of the wall-clock time given: sums up the
// oldest hour that has ended and has no summary yet, or else deletes the oldest hour
// of per-cycle rows past their time, or else deletes the summaries, outages and
// events past theirs. Returns whether more batches are waiting. Throws SqlFailure.
//
// An hour is summed up as soon as it has ended, not when its cycles go: a report over
// a month reads 720 summaries rather than 2.6 million cycles.
bool FoldBatch(const QSqlDatabase &database, qint64 nowMs);
