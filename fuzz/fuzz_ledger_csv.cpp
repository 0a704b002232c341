// The router's console sends any bytes at all. In the ledger they must become one
// line of printable text, in both CSV files, the window's and the report's, one field
// on the row's one line that a spreadsheet reads back as that text, whatever quotes,
// separators or line breaks they hold, and in the JSON report a string that reads
// back as every byte of the answer. The same input, read as UTF-16, is the reason a
// limit began the outage (it holds an address as the user typed it): one printable
// line in the last CSV field, and in the JSON the same text back.
#include "FuzzProperty.h"
#include "LedgerCsv.h"
#include "LedgerText.h"
#include "ReportWriters.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cstring>

namespace {

// A CSV reader of its own, after RFC 4180: fields split at commas, records at CR LF,
// a quoted field may hold both and doubles its quotes. Empty when the text breaks
// the format.
QList<QStringList> ReadCsv(const QString &text)
{
    QList<QStringList> records;
    QStringList record;
    QString field;
    qsizetype index = 0;
    while (index < text.size()) {
        if (text[index] == u'"' && field.isEmpty()) {
            for (++index;; ++index) {
                if (index >= text.size())
                    return {};
                if (text[index] == u'"') {
                    if (index + 1 < text.size() && text[index + 1] == u'"') {
                        field += u'"';
                        ++index;
                        continue;
                    }
                    ++index;
                    break;
                }
                field += text[index];
            }
            if (index < text.size() && text[index] != u',' && text[index] != u'\r')
                return {};
            continue;
        }
        if (text[index] == u',') {
            record << std::exchange(field, QString());
            ++index;
        } else if (text.mid(index, 2) == u"\r\n") {
            record << std::exchange(field, QString());
            records << std::exchange(record, QStringList());
            index += 2;
        } else if (text[index] == u'"' || text[index] == u'\r' || text[index] == u'\n') {
            return {};
        } else {
            field += text[index++];
        }
    }
    if (!field.isEmpty() || !record.isEmpty())
        return {};
    return records;
}

// No control character, C0, DEL or C1, no line or paragraph separator, and no half of
// a surrogate pair.
bool OneInertLine(const QString &text)
{
    for (const QChar character : text) {
        const char16_t code = character.unicode();
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x2028 || code == 0x2029)
            return false;
    }
    return text.isValidUtf16() && text == text.trimmed();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString printable = PrintableConsole(bytes);
    for (const QChar character : printable)
        RequireProperty(character.unicode() >= 0x20 && character.unicode() != 0x7F,
                        "no control character is left in the printable text");
    RequireProperty(printable == printable.trimmed(), "no blanks at either end");

    QString reason(qsizetype(size / 2), Qt::Uninitialized);
    std::memcpy(reason.data(), data, size / 2 * 2);
    const QString printableReason = PrintableText(reason);
    RequireProperty(OneInertLine(printableReason), "the reason's line acts on nothing");

    OutageEntry outage;
    outage.startMs = 1'796'650'992'000;
    outage.endMs = outage.startMs + 272'000;
    outage.console = bytes;
    outage.reason = reason;
    const QList<QStringList> records = ReadCsv(QString::fromUtf8(LedgerCsv({outage})));
    RequireProperty(records.size() == 2, "a header and one record per outage");
    RequireProperty(records[0].size() == 9 && records[1].size() == 9, "nine fields a record");
    RequireProperty(records[1][5] == printable, "the sixth field reads back as the console text");
    RequireProperty(records[1][8] == printableReason, "the last field reads back as the reason");

    QString report;
    QTextStream stream(&report);
    const std::unique_ptr<ReportWriter> writer = MakeReportWriter(ReportFormat::Csv, {}, stream);
    writer->begin();
    writer->outage(outage, 272'000);
    writer->end();
    stream.flush();
    const QList<QStringList> reportRecords = ReadCsv(report);
    RequireProperty(report.count(u'\n') == 2 && reportRecords.size() == 2 &&
                        reportRecords[1].size() == 9 && reportRecords[1][5] == printable &&
                        reportRecords[1][8] == printableReason,
                    "the report's CSV has the same response and reason, one row a line");

    const QString answer = DecodedConsole(bytes);
    QJsonParseError error{};
    const QJsonDocument json =
        QJsonDocument::fromJson('[' + JsonString(answer).toUtf8() + ']', &error);
    RequireProperty(error.error == QJsonParseError::NoError && json.array().size() == 1 &&
                        json.array().at(0).toString() == answer,
                    "the JSON string reads back as the router's whole answer");

    QString document;
    QTextStream jsonStream(&document);
    const std::unique_ptr<ReportWriter> jsonWriter =
        MakeReportWriter(ReportFormat::Json, {}, jsonStream);
    jsonWriter->begin();
    jsonWriter->outage(outage, 272'000);
    jsonWriter->end();
    jsonStream.flush();
    const QJsonObject shown =
        QJsonDocument::fromJson(document.toUtf8(), &error)[u"outages"][0].toObject();
    RequireProperty(error.error == QJsonParseError::NoError, "the JSON report is JSON");
    // Halves of surrogate pairs cannot be UTF-8: only they may read back otherwise. Qt's
    // reader drops a U+FEFF at the start of a string, as if a byte-order mark; the text
    // written keeps it.
    const QString readBack = shown[u"reason"].toString();
    RequireProperty(shown.contains(u"reason") == !reason.isEmpty() &&
                        (!reason.isValidUtf16() || readBack == reason ||
                         (reason.startsWith(QChar(0xFEFF)) && readBack == reason.mid(1))),
                    "the JSON report's reason reads back as the reason");
    return 0;
}
