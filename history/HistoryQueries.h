#pragma once

#include "HistorySource.h"

#include <QSqlDatabase>

#include <functional>

// A cycle in which an address answered, as a condition on a row of the cycles table.
// A cycle with a reason, or held, failed or held on a loss or round-trip limit whatever
// answered: it counts as the watch counted it, not answered.
inline const QString kAnsweredCycle =
    QStringLiteral("(reason IS NULL AND held = 0 AND (primary_status = 0 OR"
                   " coalesce(secondary_status = 0, 0)))");

// Where an outage that no monitor will end any more ends: at its last cycle, the last
// one recorded, since a monitor writes each cycle of an outage as it comes.
inline const QString kLastCycleOfOutage =
    QStringLiteral("max(started, coalesce((SELECT max(at) FROM cycles), started))");

// How a reading takes an outage that the file leaves open.
enum class LeftOpen
{
    // A monitor holds the store and will end it: it lasts.
    Lasting,
    // No monitor holds the store: it ends at its last cycle, marked as ended
    // unwatched, as the next start will record it.
    EndsUnwatched,
};

struct Availability
{
    qint64 cycles = 0;
    qint64 answeredCycles = 0;
};

// The reading side of the store, shared by the History window (through the store) and
// the command line (through a read-only connection). Each throws SqlFailure.

// The cycles of a range and those with an answer: whole hours from their summaries,
// the ends of the range from the per-cycle rows where these are still kept.
Availability ReadAvailability(const QSqlDatabase &database, qint64 fromMs, qint64 toMs);

// Every outage that overlaps the range, oldest first, one left open as lasting.
QList<OutageEntry> ReadOutages(const QSqlDatabase &database, qint64 fromMs, qint64 toMs);

// The same outages handed over one at a time, as SQLite yields them, so that a ledger
// of any length is printed in little memory. Stops early when take returns false.
void ForEachOutage(const QSqlDatabase &database, qint64 fromMs, qint64 toMs, LeftOpen leftOpen,
                   const std::function<bool(const OutageEntry &)> &take);

struct OutageTotals
{
    qint64 outages = 0;
    // Each outage whole, even where it reaches beyond the range; one that lasts counts
    // until toMs.
    qint64 lengthMs = 0;
};
OutageTotals ReadOutageTotals(const QSqlDatabase &database, qint64 fromMs, qint64 toMs,
                              LeftOpen leftOpen);

// The spans of the range in which no monitor ran, from the starts and stops recorded:
// from a stop to the next start; from the last cycle of a monitor that ended without
// a stop (or its start, when it recorded none) to the next start; before the first
// start the history holds. After the last start, one more where no monitor holds the
// store any more (leftOpen says which). Cut to the range, oldest first.
QList<TimeSpan> ReadNotMonitored(const QSqlDatabase &database, qint64 fromMs, qint64 toMs,
                                 LeftOpen leftOpen);

// The whole range, each series folded into at most maximumPoints buckets.
HistoryRange ReadRange(const QSqlDatabase &database, qint64 fromMs, qint64 toMs, int maximumPoints);
