#include "HistoryReport.h"

#include "Clock.h"
#include "HistoryFileClaim.h"
#include "HistoryQueries.h"
#include "HistorySchema.h"
#include "ReportWriters.h"
#include "SinceText.h"
#include "SqlStatements.h"

#include <QDir>
#include <QFileInfo>

#include <memory>

namespace {

constexpr qint64 kDefaultSinceMs = 30 * kDayMs;
constexpr int kSqliteReadOnly = 8;
constexpr int kSqliteCannotOpen = 14;

// A first read of the file: one that is no database, or that cannot be opened as
// asked, fails here.
void ReadSchemaTable(const SqliteConnection &connection)
{
    SingleValue(connection.database(), QStringLiteral("SELECT count(*) FROM sqlite_master"));
}

// A reader of a store in write-ahead mode needs its shared-memory file, which SQLite
// makes beside the store when no writer has. Where the reader may not make files (a
// store another user keeps, a read-only folder) that fails; with no write-ahead file
// either, no writer is at work and the store holds all there is, so it is read as it
// lies. A write-ahead file left behind holds rows that such a read would miss, so its
// failure stands.
std::unique_ptr<SqliteConnection> OpenForReading(const QString &path)
{
    auto connection = std::make_unique<SqliteConnection>(path, SqliteConnection::Access::ReadOnly);
    try {
        connection->open();
        ReadSchemaTable(*connection);
        return connection;
    } catch (const SqlFailure &failure) {
        const int code = failure.primaryCode();
        if ((code != kSqliteReadOnly && code != kSqliteCannotOpen) ||
            QFileInfo::exists(path + QStringLiteral("-wal")))
            throw;
    }
    connection.reset();
    connection = std::make_unique<SqliteConnection>(path, SqliteConnection::Access::Unchanging);
    connection->open();
    ReadSchemaTable(*connection);
    return connection;
}

// Returns false as soon as out fails.
bool PrintReport(const QSqlDatabase &database, qint64 fromMs, qint64 toMs, LeftOpen leftOpen,
                 ReportFormat format, QTextStream &out)
{
    ReportSummary summary;
    summary.fromMs = fromMs;
    summary.toMs = toMs;
    summary.availability = ReadAvailability(database, fromMs, toMs);
    summary.totals = ReadOutageTotals(database, fromMs, toMs, leftOpen);
    for (const TimeSpan &span : ReadNotMonitored(database, fromMs, toMs, leftOpen))
        summary.notMonitoredMs += span.toMs - span.fromMs;
    const std::unique_ptr<ReportWriter> writer = MakeReportWriter(format, summary, out);
    writer->begin();
    ForEachOutage(database, fromMs, toMs, leftOpen, [&](const OutageEntry &outage) {
        writer->outage(outage, qMax<qint64>(outage.endMs.value_or(toMs) - outage.startMs, 0));
        return out.status() == QTextStream::Ok;
    });
    if (out.status() != QTextStream::Ok)
        return false;
    writer->end();
    out.flush();
    return out.status() == QTextStream::Ok;
}

} // namespace

int PrintHistoryReport(const QString &storePath, const QString &sinceText, ReportFormat format,
                       QTextStream &out, QTextStream &err, const Clock &clock)
{
    qint64 sinceMs = kDefaultSinceMs;
    if (!sinceText.isEmpty()) {
        QString error;
        const std::optional<qint64> parsed = ParseSinceText(sinceText, error);
        if (!parsed) {
            err << error << '\n';
            return 2;
        }
        sinceMs = *parsed;
    }
    const QString shownPath = QDir::toNativeSeparators(storePath);
    if (!QFileInfo::exists(storePath)) {
        err << "No history has been recorded yet: " << shownPath << " does not exist.\n";
        return 1;
    }

    const qint64 toMs = clock.now().toMSecsSinceEpoch();
    const qint64 fromMs = toMs - sinceMs;
    // An outage the file leaves open lasts only while a monitor may still end it; one
    // killed during it recorded its last cycle, and the next start will end it there.
    const LeftOpen leftOpen =
        HistoryFileClaim::heldByMonitor(storePath) ? LeftOpen::Lasting : LeftOpen::EndsUnwatched;
    try {
        const std::unique_ptr<SqliteConnection> connection = OpenForReading(storePath);
        const QSqlDatabase database = connection->database();
        if (SingleValue(database, QStringLiteral("PRAGMA user_version")).toInt() !=
            kHistorySchemaVersion) {
            err << shownPath << " is not a history of this version of Corvane.\n";
            return 1;
        }
        // One snapshot: the totals and the rows agree while a monitor writes on.
        SqlTransaction snapshot(database);
        return PrintReport(database, fromMs, toMs, leftOpen, format, out) ? 0 : 1;
    } catch (const SqlFailure &failure) {
        err << "The history in " << shownPath << " cannot be read: " << failure.error.text()
            << '\n';
        return 1;
    }
}
