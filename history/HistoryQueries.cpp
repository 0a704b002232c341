#include "HistoryQueries.h"

#include "HistoryRetention.h"
#include "SqlStatements.h"

#include <QMap>

#include <limits>

namespace {

// The outages as a reading takes them, with the end it gives them as end_ms and its
// mark as unwatched. Its two values both say whether an outage left open ends.
QString Ledger()
{
    return QStringLiteral("WITH ledger AS (SELECT *, CASE WHEN ended IS NULL AND ? THEN %1"
                          " ELSE ended END AS end_ms, ended_unwatched OR (ended IS NULL AND ?)"
                          " AS unwatched FROM outages)")
        .arg(kLastCycleOfOutage);
}

QVariantList LedgerValues(LeftOpen leftOpen)
{
    const bool ends = leftOpen == LeftOpen::EndsUnwatched;
    return {ends, ends};
}

// An outage of the ledger that overlaps the range [?, ?), its end and start as the values.
const QString kOverlapsRange = QStringLiteral("started < ? AND (end_ms IS NULL OR end_ms >= ?)");

// The most per-cycle rows a range reads for its plot: about a fifth of a second.
constexpr qint64 kMostCyclesRead = 200LL * 1000;

qint64 HourEnd(qint64 ms)
{
    return HourStart(ms) == ms ? ms : HourStart(ms) + kHourMs;
}

// Where a range is read from: the hours' summaries within [hoursFrom, hoursTo), the
// per-cycle rows before and after. Before the oldest cycle kept, only summaries are
// left; an hour there counts whole even where the range cuts it.
struct RangeSplit
{
    qint64 hoursFrom;
    qint64 hoursTo;
};

RangeSplit SplitRange(const QSqlDatabase &database, qint64 fromMs, qint64 toMs,
                      bool summariesWherever)
{
    const QVariant oldest = SingleValue(database, QStringLiteral("SELECT min(at) FROM cycles"));
    const qint64 firstCycleHour =
        oldest.isNull() ? std::numeric_limits<qint64>::max() : HourStart(oldest.toLongLong());
    const qint64 hoursFrom = fromMs >= firstCycleHour ? HourEnd(fromMs) : HourStart(fromMs);
    qint64 hoursTo = 0;
    if (toMs <= firstCycleHour)
        hoursTo = HourEnd(toMs);
    else if (summariesWherever)
        hoursTo = qMin(HourStart(toMs), SummarisedUntil(database));
    else
        hoursTo = firstCycleHour;
    return {hoursFrom, qMax(hoursFrom, hoursTo)};
}

// The per-cycle parts of a range.
QList<std::pair<qint64, qint64>> CycleSpans(const RangeSplit &split, qint64 fromMs, qint64 toMs)
{
    return {{fromMs, qMin(split.hoursFrom, toMs)}, {qMax(split.hoursTo, fromMs), toMs}};
}

// What one bucket of the plot holds.
struct Bucket
{
    std::optional<RoundTripPoint> primary;
    std::optional<RoundTripPoint> secondary;
    std::optional<qint64> failingCycleMs;
};

void Widen(std::optional<RoundTripPoint> &point, const QVariant &atMs, const QVariant &minimum,
           const QVariant &maximum)
{
    if (atMs.isNull())
        return;
    if (!point) {
        point = RoundTripPoint{atMs.toLongLong(), minimum.toInt(), maximum.toInt()};
        return;
    }
    point->atMs = qMin(point->atMs, atMs.toLongLong());
    point->minimumMs = qMin(point->minimumMs, minimum.toInt());
    point->maximumMs = qMax(point->maximumMs, maximum.toInt());
}

// Reads rows of (bucket, primary at/min/max, secondary at/min/max, first failing
// cycle) into the buckets; the same bucket may come from the summaries and the cycles.
void Collect(QSqlQuery &query, QMap<qint64, Bucket> &buckets)
{
    while (query.next()) {
        Bucket &bucket = buckets[query.value(0).toLongLong()];
        Widen(bucket.primary, query.value(1), query.value(2), query.value(3));
        Widen(bucket.secondary, query.value(4), query.value(5), query.value(6));
        if (!query.value(7).isNull()) {
            const qint64 failing = query.value(7).toLongLong();
            bucket.failingCycleMs = qMin(bucket.failingCycleMs.value_or(failing), failing);
        }
    }
}

// Where a monitor that started at startedMs and ended without a stop before untilMs
// last worked: its last cycle, or where only the hours' summaries are left, the end
// of the last hour summed up; never before its start.
qint64 LastSignOfLife(const QSqlDatabase &database, qint64 startedMs, qint64 untilMs)
{
    const QVariant cycle =
        SingleValue(database, QStringLiteral("SELECT max(at) FROM cycles WHERE at < ?"), {untilMs});
    if (!cycle.isNull())
        return qMax(startedMs, cycle.toLongLong());
    const QVariant hour = SingleValue(
        database, QStringLiteral("SELECT max(hour) FROM hours WHERE hour < ?"), {untilMs});
    if (!hour.isNull())
        return qBound(startedMs, hour.toLongLong() + kHourMs, untilMs);
    return startedMs;
}

void AddCut(QList<TimeSpan> &spans, qint64 fromMs, qint64 toMs, qint64 rangeFromMs,
            qint64 rangeToMs)
{
    fromMs = qMax(fromMs, rangeFromMs);
    toMs = qMin(toMs, rangeToMs);
    if (fromMs < toMs)
        spans.append({fromMs, toMs});
}

} // namespace

Availability ReadAvailability(const QSqlDatabase &database, qint64 fromMs, qint64 toMs)
{
    const RangeSplit split = SplitRange(database, fromMs, toMs, true);
    Availability availability;
    QSqlQuery hours = RunOnce(database,
                              QStringLiteral("SELECT sum(cycles), sum(cycles - failures) FROM hours"
                                             " WHERE hour >= ? AND hour < ?"),
                              {split.hoursFrom, split.hoursTo});
    availability.cycles = hours.value(0).toLongLong();
    availability.answeredCycles = hours.value(1).toLongLong();
    QSqlQuery cycles = Prepare(
        database, QStringLiteral("SELECT count(*), sum(%1) FROM cycles WHERE at >= ? AND at < ?")
                      .arg(kAnsweredCycle));
    for (const auto &[from, to] : CycleSpans(split, fromMs, toMs)) {
        if (from >= to)
            continue;
        Run(cycles, {from, to});
        cycles.next();
        availability.cycles += cycles.value(0).toLongLong();
        availability.answeredCycles += cycles.value(1).toLongLong();
    }
    return availability;
}

void ForEachOutage(const QSqlDatabase &database, qint64 fromMs, qint64 toMs, LeftOpen leftOpen,
                   const std::function<bool(const OutageEntry &)> &take)
{
    // The console as bytes, whatever type SQLite holds it in: text would be read as
    // UTF-8, and lose every byte that is not.
    QSqlQuery query = Prepare(database, QStringLiteral("%1 SELECT started, end_ms,"
                                                       " failing_cycles, fail_commands,"
                                                       " CAST(console AS BLOB), resolved,"
                                                       " ended_by_stop, unwatched, reason"
                                                       " FROM ledger"
                                                       " WHERE %2 ORDER BY started")
                                            .arg(Ledger(), kOverlapsRange));
    Run(query, LedgerValues(leftOpen) + QVariantList{toMs, fromMs});
    OutageEntry outage;
    while (query.next()) {
        outage.startMs = query.value(0).toLongLong();
        outage.endMs =
            query.value(1).isNull() ? std::nullopt : std::optional(query.value(1).toLongLong());
        outage.failingCycles = query.value(2).toInt();
        outage.failCommandsSent = query.value(3).toInt();
        outage.console = query.value(4).toByteArray();
        outage.resolvedAddress = query.value(5).toString();
        outage.endedByStop = query.value(6).toBool();
        outage.endedUnwatched = query.value(7).toBool();
        outage.reason = query.value(8).toString();
        if (!take(outage))
            return;
    }
}

QList<OutageEntry> ReadOutages(const QSqlDatabase &database, qint64 fromMs, qint64 toMs)
{
    QList<OutageEntry> outages;
    ForEachOutage(database, fromMs, toMs, LeftOpen::Lasting, [&outages](const OutageEntry &outage) {
        outages.append(outage);
        return true;
    });
    return outages;
}

OutageTotals ReadOutageTotals(const QSqlDatabase &database, qint64 fromMs, qint64 toMs,
                              LeftOpen leftOpen)
{
    const QSqlQuery query = RunOnce(
        database,
        QStringLiteral("%1 SELECT count(*), coalesce(sum(max(coalesce(end_ms, ?) - started, 0)),"
                       " 0) FROM ledger WHERE %2")
            .arg(Ledger(), kOverlapsRange),
        LedgerValues(leftOpen) + QVariantList{toMs, toMs, fromMs});
    return {query.value(0).toLongLong(), query.value(1).toLongLong()};
}

QList<TimeSpan> ReadNotMonitored(const QSqlDatabase &database, qint64 fromMs, qint64 toMs,
                                 LeftOpen leftOpen)
{
    QList<TimeSpan> spans;
    if (toMs <= fromMs)
        return spans;
    // The last start or stop before the range says whether a monitor ran as it began.
    QSqlQuery events = Prepare(
        database,
        QStringLiteral("SELECT at, kind = 'start' FROM events WHERE kind IN ('start', 'stop')"
                       " AND at >= coalesce((SELECT at FROM events WHERE kind IN ('start', 'stop')"
                       " AND at < ? ORDER BY at DESC LIMIT 1), ?) AND at < ? ORDER BY at, id"));
    Run(events, {fromMs, fromMs, toMs});
    QList<std::pair<qint64, bool>> startsAndStops;
    while (events.next())
        startsAndStops.append({events.value(0).toLongLong(), events.value(1).toBool()});

    // Before the first start recorded, nobody watched.
    bool running = false;
    qint64 sinceMs = std::numeric_limits<qint64>::min();
    for (const auto &[atMs, start] : std::as_const(startsAndStops)) {
        if (start) {
            // A start after a start: the monitor before it ended without a stop.
            AddCut(spans, running ? LastSignOfLife(database, sinceMs, atMs) : sinceMs, atMs, fromMs,
                   toMs);
            running = true;
            sinceMs = atMs;
        } else if (running) {
            running = false;
            sinceMs = atMs;
        }
    }
    if (!running)
        AddCut(spans, sinceMs, toMs, fromMs, toMs);
    else if (leftOpen == LeftOpen::EndsUnwatched)
        AddCut(spans, LastSignOfLife(database, sinceMs, toMs), toMs, fromMs, toMs);
    return spans;
}

HistoryRange ReadRange(const QSqlDatabase &database, qint64 fromMs, qint64 toMs, int maximumPoints)
{
    HistoryRange range;
    range.fromMs = fromMs;
    range.toMs = toMs;
    if (toMs <= fromMs || maximumPoints < 1)
        return range;
    const qint64 width = qMax<qint64>(1, (toMs - fromMs + maximumPoints - 1) / maximumPoints);
    const Availability availability = ReadAvailability(database, fromMs, toMs);
    range.cycles = availability.cycles;
    range.answeredCycles = availability.answeredCycles;

    // Where the buckets are narrower than an hour, the cycles show what the hours'
    // summaries would blur; but reading them costs about a microsecond each, and a
    // month of one-second cycles would take seconds. Peaks survive either way.
    const bool summariesWherever = width >= kHourMs || availability.cycles > kMostCyclesRead;
    const RangeSplit split = SplitRange(database, fromMs, toMs, summariesWherever);
    QMap<qint64, Bucket> buckets;
    QSqlQuery hours = Prepare(
        database, QStringLiteral("SELECT (max(hour, ?) - ?) / ? AS bucket,"
                                 " min(CASE WHEN primary_answers > 0 THEN hour END),"
                                 " min(primary_min), max(primary_max),"
                                 " min(CASE WHEN secondary_answers > 0 THEN hour END),"
                                 " min(secondary_min), max(secondary_max),"
                                 " min(CASE WHEN failures > 0 THEN hour END)"
                                 " FROM hours WHERE hour >= ? AND hour < ? GROUP BY bucket"));
    Run(hours, {fromMs, fromMs, width, split.hoursFrom, split.hoursTo});
    Collect(hours, buckets);

    QSqlQuery cycles = Prepare(
        database, QStringLiteral("SELECT (at - ?) / ? AS bucket,"
                                 " min(CASE WHEN primary_status = 0 THEN at END),"
                                 " min(CASE WHEN primary_status = 0 THEN primary_rtt END),"
                                 " max(CASE WHEN primary_status = 0 THEN primary_rtt END),"
                                 " min(CASE WHEN secondary_status = 0 THEN at END),"
                                 " min(CASE WHEN secondary_status = 0 THEN secondary_rtt END),"
                                 " max(CASE WHEN secondary_status = 0 THEN secondary_rtt END),"
                                 " min(CASE WHEN NOT %1 THEN at END)"
                                 " FROM cycles WHERE at >= ? AND at < ? GROUP BY bucket")
                      .arg(kAnsweredCycle));
    for (const auto &[from, to] : CycleSpans(split, fromMs, toMs)) {
        if (from >= to)
            continue;
        Run(cycles, {fromMs, width, from, to});
        Collect(cycles, buckets);
    }
    for (const Bucket &bucket : std::as_const(buckets)) {
        if (bucket.primary)
            range.primary.append(*bucket.primary);
        if (bucket.secondary)
            range.secondary.append(*bucket.secondary);
        if (bucket.failingCycleMs)
            range.failingCycleMs.append(*bucket.failingCycleMs);
    }

    QSqlQuery sends = Prepare(
        database, QStringLiteral("SELECT min(at) FROM events WHERE kind = 'fail' AND at >= ?"
                                 " AND at < ? GROUP BY (at - ?) / ? ORDER BY 1"));
    Run(sends, {fromMs, toMs, fromMs, width});
    while (sends.next())
        range.failCommandMs.append(sends.value(0).toLongLong());

    range.outages = ReadOutages(database, fromMs, toMs);
    range.notMonitored = ReadNotMonitored(database, fromMs, toMs, LeftOpen::Lasting);
    return range;
}
