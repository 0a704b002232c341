#include "HistoryReport.h"

#include "Clock.h"
#include "HistoryQueries.h"
#include "HistorySchema.h"
#include "LedgerCsv.h"
#include "LedgerText.h"
#include "SinceText.h"
#include "SqlStatements.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

constexpr qint64 kDefaultSinceMs = 30 * kDayMs;
constexpr int kResponseColumnWidth = 40;

QString UtcTime(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODate);
}

QString DurationText(qint64 ms)
{
    const qint64 seconds = ms / 1000;
    const auto two = [](qint64 value) {
        return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
    };
    if (seconds >= 24LL * 3600)
        return QStringLiteral("%1d %2h %3m")
            .arg(seconds / (24LL * 3600))
            .arg(two(seconds / 3600 % 24), two(seconds / 60 % 60));
    if (seconds >= 3600)
        return QStringLiteral("%1h %2m %3s")
            .arg(seconds / 3600)
            .arg(two(seconds / 60 % 60), two(seconds % 60));
    if (seconds >= 60)
        return QStringLiteral("%1m %2s").arg(seconds / 60).arg(two(seconds % 60));
    return QStringLiteral("%1s").arg(seconds);
}

// The router's bytes as one line of text: its line breaks and other control
// characters become single spaces.
QString ResponseText(const QByteArray &console)
{
    static const QRegularExpression kBlanks(QStringLiteral("[\\x00-\\x20\\x7f]+"));
    return QString::fromLatin1(console).replace(kBlanks, QStringLiteral(" ")).trimmed();
}

qint64 OutageEndMs(const OutageEntry &outage, qint64 nowMs)
{
    return outage.endMs.value_or(nowMs);
}

void PrintText(const QList<OutageEntry> &outages, const Availability &availability, qint64 fromMs,
               qint64 toMs, QTextStream &out)
{
    out << "History from " << LedgerTimeText(fromMs) << " to " << LedgerTimeText(toMs) << "\n\n";
    qint64 totalMs = 0;
    if (outages.isEmpty()) {
        out << "No outages.\n";
    } else {
        out << QStringLiteral("%1  %2  %3  %4  %5\n")
                   .arg(QStringLiteral("Start"), -19)
                   .arg(QStringLiteral("End"), -19)
                   .arg(QStringLiteral("Duration"), 11)
                   .arg(QStringLiteral("Fail commands"))
                   .arg(QStringLiteral("Router's response"));
        for (const OutageEntry &outage : outages) {
            const qint64 lengthMs = OutageEndMs(outage, toMs) - outage.startMs;
            totalMs += lengthMs;
            QString response = ResponseText(outage.console);
            if (response.size() > kResponseColumnWidth)
                response = response.left(kResponseColumnWidth - 3) + QStringLiteral("...");
            out << QStringLiteral("%1  %2  %3  %4  %5")
                       .arg(LedgerTimeText(outage.startMs), -19)
                       .arg(outage.endMs ? LedgerTimeText(*outage.endMs)
                                         : QStringLiteral("(lasting)"),
                            -19)
                       .arg(DurationText(lengthMs), 11)
                       .arg(outage.failCommandsSent, 13)
                       .arg(response)
                       .trimmed()
                << '\n';
        }
        out << '\n'
            << outages.size() << (outages.size() == 1 ? " outage, " : " outages, ")
            << DurationText(totalMs) << " in all.\n";
    }
    if (availability.cycles == 0) {
        out << "Availability: no cycles recorded in this range.\n";
        return;
    }
    const double percentage = 100.0 * static_cast<double>(availability.answeredCycles) /
                              static_cast<double>(availability.cycles);
    out << QStringLiteral("Availability: %1 % (%2 of %3 cycles answered)\n")
               .arg(percentage, 0, 'f', 3)
               .arg(availability.answeredCycles)
               .arg(availability.cycles);
}

void PrintCsv(const QList<OutageEntry> &outages, const Availability &availability, qint64 fromMs,
              qint64 toMs, QTextStream &out)
{
    out << kLedgerCsvHeader;
    qint64 totalMs = 0;
    for (const OutageEntry &outage : outages) {
        const qint64 lengthMs = OutageEndMs(outage, toMs) - outage.startMs;
        totalMs += lengthMs;
        out << UtcTime(outage.startMs) << ',' << (outage.endMs ? UtcTime(*outage.endMs) : QString())
            << ',' << lengthMs / 1000 << ',' << outage.failingCycles << ','
            << outage.failCommandsSent << ',' << CsvField(QString::fromLatin1(outage.console))
            << "\r\n";
    }
    const double percentage = availability.cycles == 0
                                  ? 0.0
                                  : 100.0 * static_cast<double>(availability.answeredCycles) /
                                        static_cast<double>(availability.cycles);
    out << "\r\nfrom,to,cycles,answered_cycles,availability_percent,outages,outage_seconds\r\n"
        << UtcTime(fromMs) << ',' << UtcTime(toMs) << ',' << availability.cycles << ','
        << availability.answeredCycles << ','
        << (availability.cycles == 0 ? QString() : QString::number(percentage, 'f', 3)) << ','
        << outages.size() << ',' << totalMs / 1000 << "\r\n";
}

} // namespace

int PrintHistoryReport(const QString &storePath, const QString &sinceText, bool csv,
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
    try {
        SqliteConnection connection(storePath, SqliteConnection::Access::ReadOnly);
        connection.open();
        const QSqlDatabase database = connection.database();
        if (SingleValue(database, QStringLiteral("PRAGMA user_version")).toInt() !=
            kHistorySchemaVersion) {
            err << shownPath << " is not a history of this version of Corvane.\n";
            return 1;
        }
        const QList<OutageEntry> outages = ReadOutages(database, fromMs, toMs);
        const Availability availability = ReadAvailability(database, fromMs, toMs);
        if (csv)
            PrintCsv(outages, availability, fromMs, toMs, out);
        else
            PrintText(outages, availability, fromMs, toMs, out);
    } catch (const SqlFailure &failure) {
        err << "The history in " << shownPath << " cannot be read: " << failure.error.text()
            << '\n';
        return 1;
    }
    out.flush();
    return 0;
}
