#include "LedgerCsv.h"

#include "LedgerText.h"

#include <QDateTime>
#include <QStringList>

#include <algorithm>

namespace {

QString IsoTime(qint64 atMs)
{
    // With the offset, so that the times still read right in another time zone.
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(atMs);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

} // namespace

QString CsvField(QString text)
{
    static const QString kNeedsQuotes = QStringLiteral(",\"\r\n");
    if (std::none_of(text.cbegin(), text.cend(),
                     [](QChar character) { return kNeedsQuotes.contains(character); }))
        return text;
    text.replace(u'"', QStringLiteral("\"\""));
    return u'"' + text + u'"';
}

QString CsvResponse(const QByteArray &console)
{
    return CsvField(PrintableConsole(console));
}

QString CsvEndMarks(const OutageEntry &outage)
{
    return QStringLiteral("%1,%2")
        .arg(outage.endedByStop ? 1 : 0)
        .arg(outage.endedUnwatched ? 1 : 0);
}

QString CsvReason(const OutageEntry &outage)
{
    return CsvField(PrintableText(outage.reason));
}

QByteArray LedgerCsv(const QList<OutageEntry> &outages)
{
    QString csv = QLatin1String(kLedgerCsvHeader);
    for (const OutageEntry &outage : outages) {
        const QStringList fields = {
            IsoTime(outage.startMs),
            outage.endMs ? IsoTime(*outage.endMs) : QString(),
            outage.endMs ? QString::number((*outage.endMs - outage.startMs) / 1000) : QString(),
            QString::number(outage.failingCycles),
            QString::number(outage.failCommandsSent),
            CsvResponse(outage.console),
            CsvEndMarks(outage),
            CsvReason(outage),
        };
        csv += fields.join(u',') + QStringLiteral("\r\n");
    }
    return csv.toUtf8();
}
