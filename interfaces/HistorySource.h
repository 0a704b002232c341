#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>

// Times are milliseconds since the epoch, UTC.

constexpr qint64 kHourMs = 3600LL * 1000;
constexpr qint64 kDayMs = 24 * kHourMs;

// One point of a round-trip plot: one cycle, or the cycles of a bucket folded into
// their extremes so that peaks survive the folding.
struct RoundTripPoint
{
    qint64 atMs = 0;
    qint32 minimumMs = 0;
    qint32 maximumMs = 0;
};

// A span of time, from its first millisecond up to its end.
struct TimeSpan
{
    qint64 fromMs = 0;
    qint64 toMs = 0;
};

// An outage as the ledger keeps it.
struct OutageEntry
{
    qint64 startMs = 0;
    // Empty while it lasts. Its length counts on a clock that no setting of the wall
    // clock moves, so that the end is never before the start.
    std::optional<qint64> endMs;
    // The program stopped during the outage: it ends at its last cycle, and nobody saw
    // whether the line came back.
    bool endedByStop = false;
    // The monitor ended during the outage without a stop (killed, or the machine went
    // down): it ends at its last cycle recorded.
    bool endedUnwatched = false;
    qint32 failingCycles = 0;
    qint32 failCommandsSent = 0;
    // The first bytes the router's console sent during the outage.
    QByteArray console;
    // The address probed, where it differs from the field's text (a resolved name).
    QString resolvedAddress;
    // Why a loss or round-trip limit failed the cycle that began the outage, in
    // sentences; empty where no limit decided it.
    QString reason;
};

// What a time range holds, ready to be shown: each series has at most the number
// of points asked for.
struct HistoryRange
{
    qint64 fromMs = 0;
    qint64 toMs = 0;
    QList<RoundTripPoint> primary;
    QList<RoundTripPoint> secondary;
    // Failing cycles, folded alike into at most the number of points asked for.
    QList<qint64> failingCycleMs;
    QList<qint64> failCommandMs;
    // Every outage that overlaps the range, oldest first.
    QList<OutageEntry> outages;
    // Where no monitor ran, as its starts and stops were recorded: from a stop, or from
    // the last cycle of one that ended without a stop, to the next start. Cut to the
    // range, oldest first.
    QList<TimeSpan> notMonitored;
    qint64 cycles = 0;
    qint64 answeredCycles = 0;
};

// Where the History window and the command line read the history from.
class HistorySource
{
public:
    virtual ~HistorySource() = default;
    // An unreadable store gives an empty range; it never throws.
    virtual HistoryRange range(qint64 fromMs, qint64 toMs, int maximumPoints) = 0;
};
