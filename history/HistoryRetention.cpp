#include "HistoryRetention.h"

#include "HistoryQueries.h"
#include "SqlStatements.h"

#include <limits>

namespace {

// The median of one address's answers within the hour: the lower middle one.
QString MedianOf(const QString &address)
{
    return QStringLiteral("(SELECT %1_rtt FROM cycles WHERE at >= ? AND at < ? AND %1_status = 0"
                          " ORDER BY %1_rtt LIMIT 1 OFFSET (SELECT (count(*) - 1) / 2 FROM cycles"
                          " WHERE at >= ? AND at < ? AND %1_status = 0))")
        .arg(address);
}

void SumUpHour(const QSqlDatabase &database, qint64 hour)
{
    const QString sql =
        QStringLiteral(
            "INSERT OR REPLACE INTO hours(hour, cycles, failures, primary_answers, primary_min,"
            " primary_median, primary_max, secondary_probes, secondary_answers, secondary_min,"
            " secondary_median, secondary_max)"
            " SELECT ?, count(*), count(*) - sum(%1),"
            " count(CASE WHEN primary_status = 0 THEN 1 END),"
            " min(CASE WHEN primary_status = 0 THEN primary_rtt END), %2,"
            " max(CASE WHEN primary_status = 0 THEN primary_rtt END),"
            " count(secondary_status), count(CASE WHEN secondary_status = 0 THEN 1 END),"
            " min(CASE WHEN secondary_status = 0 THEN secondary_rtt END), %3,"
            " max(CASE WHEN secondary_status = 0 THEN secondary_rtt END)"
            " FROM cycles WHERE at >= ? AND at < ?")
            .arg(kAnsweredCycle, MedianOf(QStringLiteral("primary")),
                 MedianOf(QStringLiteral("secondary")));
    // The hour's bounds, for the two medians' four subqueries and the summary itself.
    QVariantList values{hour};
    for (int use = 0; use < 5; ++use)
        values << hour << hour + kHourMs;
    RunOnce(database, sql, values);
}

} // namespace

qint64 SummarisedUntil(const QSqlDatabase &database)
{
    const QVariant last = SingleValue(database, QStringLiteral("SELECT max(hour) FROM hours"));
    return last.isNull() ? std::numeric_limits<qint64>::min() : last.toLongLong() + kHourMs;
}

bool FoldBatch(const QSqlDatabase &database, qint64 nowMs)
{
    const qint64 summarisedUntil = SummarisedUntil(database);
    const QVariant nextCycle = SingleValue(
        database, QStringLiteral("SELECT min(at) FROM cycles WHERE at >= ?"), {summarisedUntil});
    if (!nextCycle.isNull() && HourStart(nextCycle.toLongLong()) + kHourMs <= nowMs) {
        SumUpHour(database, HourStart(nextCycle.toLongLong()));
        return true;
    }

    // Whole hours only, so that the hour of the oldest cycle left is complete; and
    // never a cycle that no summary holds yet.
    const qint64 keepFrom = qMin(HourStart(nowMs - kCycleRetentionMs), summarisedUntil);
    const QVariant oldest = SingleValue(database, QStringLiteral("SELECT min(at) FROM cycles"));
    if (!oldest.isNull() && oldest.toLongLong() < keepFrom) {
        const qint64 batchEnd = qMin(keepFrom, HourStart(oldest.toLongLong()) + kHourMs);
        RunOnce(database, QStringLiteral("DELETE FROM cycles WHERE at < ?"), {batchEnd});
        return true;
    }

    const qint64 summaryCutoff = nowMs - kSummaryRetentionMs;
    SqlTransaction transaction(database);
    RunOnce(database, QStringLiteral("DELETE FROM hours WHERE hour < ?"), {summaryCutoff});
    RunOnce(database, QStringLiteral("DELETE FROM outages WHERE ended < ?"), {summaryCutoff});
    RunOnce(database, QStringLiteral("DELETE FROM events WHERE at < ?"), {summaryCutoff});
    transaction.commit();
    return false;
}
