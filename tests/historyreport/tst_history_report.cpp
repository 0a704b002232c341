#include "DurationText.h"
#include "HistoryReport.h"
#include "HistoryRig.h"
#include "LedgerCsv.h"
#include "LedgerText.h"
#include "ReportWriters.h"
#include "SinceText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <QtTest>

#include <cstdlib>
#include <ctime>

// corvane --history: the ledger and the availability, read beside a running monitor.
class HistoryReportTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void sinceText_data();
    void sinceText();
    void report_data();
    void report();
    void durations_data();
    void durations();
    void availabilityWording_data();
    void availabilityWording();
    void csvFilesWriteTheSameResponse();
    void reasonInEachFormat_data();
    void reasonInEachFormat();
    void jsonString_data();
    void jsonString();
    void unreadableStore();
    // Last: it stops the recorder.
    void outageEndedByStopIsMarked();

private:
    struct Printed
    {
        int status;
        QString out;
        QString err;
    };
    Printed print(const QString &path, const QString &since, ReportFormat format);

    QTemporaryDir m_folder;
    std::unique_ptr<HistoryRig> m_rig;
};

void HistoryReportTest::initTestCase()
{
    // The text shows local times: make them the same wherever the test runs.
    qputenv("TZ", "UTC");
    ::tzset();

    // Three days of a cycle a minute, monitored still: an outage on the first day
    // (a fail command sent, the router's answer with a comma, a quote and a line
    // break), one on the third that is still going on.
    m_rig = std::make_unique<HistoryRig>(m_folder.path());
    HistoryRig &rig = *m_rig;
    rig.clock.set(QDateTime(QDate(2026, 3, 1), QTime(0, 0), Qt::UTC));
    rig.start();
    for (int minute = 0; minute < 3 * 24 * 60; ++minute) {
        const bool firstOutage = minute >= 600 && minute < 606;
        if (firstOutage || minute >= 3 * 24 * 60 - 3) {
            rig.fail(false, 60LL * 1000);
            if (minute == 602) {
                rig.recorder.commandSent(CommandKind::Fail, QStringLiteral("^m"));
                rig.recorder.consoleReceived("\r\nRebooting, \"now\"\r\n> ");
            }
        } else {
            rig.answer(12, false, 60LL * 1000);
        }
    }
}

void HistoryReportTest::sinceText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("hours"); // 0: refused

    QTest::addRow("hours") << "24h" << qint64(24);
    QTest::addRow("days") << "7d" << qint64(7 * 24);
    QTest::addRow("weeks") << "2w" << qint64(14 * 24);
    QTest::addRow("a year") << "1y" << qint64(365 * 24);
    QTest::addRow("spaces and a capital") << " 30 D " << qint64(30 * 24);
    QTest::addRow("zero") << "0d" << qint64(0);
    QTest::addRow("no unit") << "30" << qint64(0);
    QTest::addRow("minutes") << "90m" << qint64(0);
    QTest::addRow("a fraction") << "1.5d" << qint64(0);
    QTest::addRow("a sign") << "-1d" << qint64(0);
    QTest::addRow("beyond a hundred years") << "101y" << qint64(0);
    QTest::addRow("more digits than a number holds") << "99999999999999999999h" << qint64(0);
    QTest::addRow("digits of another script") << "\u0663d" << qint64(0);
}

void HistoryReportTest::sinceText()
{
    QFETCH(QString, text);
    QFETCH(qint64, hours);
    QString error;
    const std::optional<qint64> length = ParseSinceText(text, error);
    if (hours == 0) {
        QVERIFY(!length);
        QVERIFY2(error.contains(QStringLiteral("\"%1\"").arg(text)), qPrintable(error));
    } else {
        QCOMPARE(length, hours * 3600 * 1000);
    }
}

namespace {

// What a report writes of one outage alone.
QString Written(ReportFormat format, const OutageEntry &outage, qint64 lengthMs)
{
    QString out;
    QTextStream stream(&out);
    const auto writer = MakeReportWriter(format, {0, lengthMs, {}, {1, lengthMs}}, stream);
    writer->begin();
    writer->outage(outage, lengthMs);
    writer->end();
    stream.flush();
    return out;
}

} // namespace

HistoryReportTest::Printed HistoryReportTest::print(const QString &path, const QString &since,
                                                    ReportFormat format)
{
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    const int status = PrintHistoryReport(path, since, format, outStream, errStream, m_rig->clock);
    outStream.flush();
    errStream.flush();
    return {status, out, err};
}

void HistoryReportTest::report_data()
{
    QTest::addColumn<QString>("since");
    QTest::addColumn<ReportFormat>("format");
    QTest::addColumn<QString>("expected");

    QTest::addRow("text, both outages")
        << "3d" << ReportFormat::Text
        << "History from 2026-03-01 00:00:00 to 2026-03-04 00:00:00\n\n"
           "Start                End                     Duration  Fail commands  Router's "
           "response\n"
           "2026-03-01 10:00:00  2026-03-01 10:06:00    6 min 0 s              1  Rebooting, "
           "\"now\" >\n"
           "2026-03-03 23:57:00  (lasting)              3 min 0 s              0\n"
           "\n2 outages, 9 min 0 s in all.\n"
           "Availability 99.791 % (4,311 of 4,320 cycles answered; monitored throughout)\n";
    QTest::addRow("text, the last day")
        << "24h" << ReportFormat::Text
        << "History from 2026-03-03 00:00:00 to 2026-03-04 00:00:00\n\n"
           "Start                End                     Duration  Fail commands  Router's "
           "response\n"
           "2026-03-03 23:57:00  (lasting)              3 min 0 s              0\n"
           "\n1 outage, 3 min 0 s in all.\n"
           "Availability 99.791 % (1,437 of 1,440 cycles answered; monitored throughout)\n";
    // The day before the first start was not watched.
    QTest::addRow("text, from a day before the first start")
        << "4d" << ReportFormat::Text
        << "History from 2026-02-28 00:00:00 to 2026-03-04 00:00:00\n\n"
           "Start                End                     Duration  Fail commands  Router's "
           "response\n"
           "2026-03-01 10:00:00  2026-03-01 10:06:00    6 min 0 s              1  Rebooting, "
           "\"now\" >\n"
           "2026-03-03 23:57:00  (lasting)              3 min 0 s              0\n"
           "\n2 outages, 9 min 0 s in all.\n"
           "Availability 99.791 % of the monitored time (4,311 of 4,320 cycles answered; 1 d 0 h "
           "not monitored)\n";
    // One table and nothing after it, so that a CSV reader takes the whole file; the
    // router's answer on one line, as the window's CSV file writes it.
    QTest::addRow("CSV")
        << "7d" << ReportFormat::Csv
        << "start,end,duration_seconds,failing_cycles,fail_commands_sent,router_response,"
           "ended_by_stop,ended_unwatched,reason\r\n"
           "2026-03-01T10:00:00Z,2026-03-01T10:06:00Z,360,6,1,\"Rebooting, \"\"now\"\" | >\",0,"
           "0,\r\n"
           "2026-03-03T23:57:00Z,,180,3,0,,0,0,\r\n";
    QTest::addRow("JSON")
        << "7d" << ReportFormat::Json
        << "{\"from\":\"2026-02-25T00:00:00Z\",\"to\":\"2026-03-04T00:00:00Z\",\"cycles\":4320,"
           "\"answered_cycles\":4311,\"availability_percent\":99.791,\"outage_count\":2,"
           "\"outage_seconds\":540,\"not_monitored_seconds\":345600,\"outages\":[\n"
           "{\"start\":\"2026-03-01T10:00:00Z\",\"end\":\"2026-03-01T10:06:00Z\","
           "\"duration_seconds\":360,\"failing_cycles\":6,\"fail_commands_sent\":1,"
           "\"ended_by_stop\":false,\"ended_unwatched\":false,\"router_response\":\"\\r\\n"
           "Rebooting, \\\"now\\\"\\r\\n> \"},\n"
           "{\"start\":\"2026-03-03T23:57:00Z\",\"end\":null,\"duration_seconds\":180,"
           "\"failing_cycles\":3,\"fail_commands_sent\":0,\"ended_by_stop\":false,"
           "\"ended_unwatched\":false,\"router_response\":\"\"}\n]}\n";
    QTest::addRow("JSON, the last hour")
        << "1h" << ReportFormat::Json
        << "{\"from\":\"2026-03-03T23:00:00Z\",\"to\":\"2026-03-04T00:00:00Z\",\"cycles\":60,"
           "\"answered_cycles\":57,\"availability_percent\":95.000,\"outage_count\":1,"
           "\"outage_seconds\":180,\"not_monitored_seconds\":0,\"outages\":[\n"
           "{\"start\":\"2026-03-03T23:57:00Z\",\"end\":null,\"duration_seconds\":180,"
           "\"failing_cycles\":3,\"fail_commands_sent\":0,\"ended_by_stop\":false,"
           "\"ended_unwatched\":false,\"router_response\":\"\"}\n]}\n";
}

void HistoryReportTest::report()
{
    QFETCH(QString, since);
    QFETCH(ReportFormat, format);
    QFETCH(QString, expected);
    const Printed printed = print(m_rig->path, since, format);
    QCOMPARE(printed.err, QString());
    QCOMPARE(printed.status, 0);
    QCOMPARE(printed.out, expected);
    if (format == ReportFormat::Json) {
        QJsonParseError error;
        QVERIFY(QJsonDocument::fromJson(printed.out.toUtf8(), &error).isObject());
    }
}

// The report's durations read as the window's, and the widest fill the column exactly.
void HistoryReportTest::durations_data()
{
    QTest::addColumn<qint64>("lengthMs");
    QTest::addColumn<QString>("text");
    QTest::addRow("under a minute") << qint64(45'999) << "45 s";
    QTest::addRow("minutes") << qint64(29 * 60'000) << "29 min 0 s";
    QTest::addRow("hours") << qint64(86'400'000LL - 1) << "23 h 59 min";
    QTest::addRow("days") << qint64(366 * 86'400'000LL - 1) << "365 d 23 h";
}

void HistoryReportTest::durations()
{
    QFETCH(qint64, lengthMs);
    QFETCH(QString, text);
    QCOMPARE(DurationText(lengthMs), text);
    const QStringList lines = Written(ReportFormat::Text, {}, lengthMs).split(u'\n');
    const qsizetype durationEnd = lines[2].indexOf(u"Duration") + 8;
    QCOMPARE(lines[3].mid(durationEnd - 13), QStringLiteral("  %1              0").arg(text, 11));
    QCOMPARE(lines[5], QStringLiteral("1 outage, %1 in all.").arg(text));
}

// The one wording of the availability, which the window shows as the report prints it:
// the share of the cycles answered, rounded down, beside the time nobody watched.
void HistoryReportTest::availabilityWording_data()
{
    QTest::addColumn<qint64>("cycles");
    QTest::addColumn<qint64>("answered");
    QTest::addColumn<qint64>("notMonitoredMs");
    QTest::addColumn<QString>("text");

    const qint64 hourMs = kHourMs;
    QTest::addRow("no time not monitored")
        << qint64(4320) << qint64(4311) << qint64(0)
        << "Availability 99.791 % (4,311 of 4,320 cycles answered; monitored throughout)";
    QTest::addRow("some time not monitored")
        << qint64(4320) << qint64(4311) << 3 * hourMs + 12 * qint64(60'000)
        << "Availability 99.791 % of the monitored time (4,311 of 4,320 cycles answered; "
           "3 h 12 min not monitored)";
    QTest::addRow("all of the range not monitored")
        << qint64(0) << qint64(0) << 24 * hourMs
        << "Availability unknown: not monitored at all in this range (1 d 0 h)";
    QTest::addRow("no cycle, part not monitored")
        << qint64(0) << qint64(0) << hourMs
        << "Availability unknown: no cycles recorded in this range (1 h 00 min not monitored)";
    QTest::addRow("no cycle, none not monitored")
        << qint64(0) << qint64(0) << qint64(0)
        << "Availability unknown: no cycles recorded in this range";
    QTest::addRow("one failing cycle in a million never reads a hundred")
        << qint64(1'000'000) << qint64(999'999) << qint64(0)
        << "Availability 99.999 % (999,999 of 1,000,000 cycles answered; monitored throughout)";
    QTest::addRow("none answered") << qint64(7) << qint64(0) << qint64(0)
                                   << "Availability 0.000 % (0 of 7 cycles answered; monitored "
                                      "throughout)";
}

void HistoryReportTest::availabilityWording()
{
    QFETCH(qint64, cycles);
    QFETCH(qint64, answered);
    QFETCH(qint64, notMonitoredMs);
    QFETCH(QString, text);

    const qint64 rangeMs = kDayMs;
    QCOMPARE(AvailabilityText(cycles, answered, notMonitoredMs, rangeMs), text);
    // The report's last line.
    QString out;
    QTextStream stream(&out);
    const auto writer = MakeReportWriter(
        ReportFormat::Text, {0, rangeMs, {cycles, answered}, {}, notMonitoredMs}, stream);
    writer->begin();
    writer->end();
    stream.flush();
    QVERIFY2(out.endsWith(u'\n' + text + u'\n'), qPrintable(out));
}

// The window's CSV file and the report's write the router's answer alike, on one line;
// in UTC, where the window's local times read as the report's, the files are the same.
void HistoryReportTest::csvFilesWriteTheSameResponse()
{
    OutageEntry outage;
    outage.endMs = 272'000;
    outage.console = "\r\nRouter> show \"x\", y\x1b[0m\r\n\r\n> ";
    const QString report = Written(ReportFormat::Csv, outage, 272'000);
    QCOMPARE(report, QString::fromUtf8(LedgerCsv({outage})));
    QVERIFY2(report.endsWith(u",0,0,\"Router> show \"\"x\"\", y^[[0m | >\",0,0,\r\n"),
             qPrintable(report));
}

// Why a limit began an outage, typed address and all: one line in the text, one field
// at the CSV row's end, the same text back from the JSON; nothing where none.
void HistoryReportTest::reasonInEachFormat_data()
{
    QTest::addColumn<ReportFormat>("format");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("shown");

    const QString hostile = QStringLiteral("Loss 40 % of a,\"b\"\r\n") + QChar(u'\0') +
                            QStringLiteral("\x1b[31m\u202e\U0001D538 (limit 30 %).");
    QTest::addRow("text")
        << ReportFormat::Text << hostile
        << "0\n  Why: Loss 40 % of a,\"b\" | ^@^[[31m?\U0001D538 (limit 30 %).\n\n";
    QTest::addRow("CSV")
        << ReportFormat::Csv << hostile
        << ",0,0,\"Loss 40 % of a,\"\"b\"\" | ^@^[[31m?\U0001D538 (limit 30 %).\"\r\n";
    QTest::addRow("CSV, none") << ReportFormat::Csv << QString() << ",0,0,\r\n";
    QTest::addRow("JSON") << ReportFormat::Json << hostile << QString();
    QTest::addRow("JSON, none") << ReportFormat::Json << QString() << "\"router_response\":\"\"}";
}

void HistoryReportTest::reasonInEachFormat()
{
    QFETCH(ReportFormat, format);
    QFETCH(QString, reason);
    QFETCH(QString, shown);
    OutageEntry outage;
    outage.endMs = 1000;
    outage.reason = reason;
    const QString written = Written(format, outage, 1000);
    QVERIFY2(written.contains(shown), qPrintable(written));
    if (format == ReportFormat::Csv)
        QCOMPARE(written, QString::fromUtf8(LedgerCsv({outage})));
    if (format == ReportFormat::Json) {
        const QJsonObject parsed =
            QJsonDocument::fromJson(written.toUtf8())[u"outages"][0].toObject();
        QCOMPARE(parsed.contains(u"reason"), !reason.isEmpty());
        QCOMPARE(parsed[u"reason"].toString(), reason);
    }
}

// Whatever the router sent, its answer reads back from the JSON as the same text.
void HistoryReportTest::jsonString_data()
{
    QTest::addColumn<QByteArray>("console");

    QTest::addRow("quotes and backslashes") << QByteArray("say \"\\\" \\n \\u0041");
    QTest::addRow("every control character") << [] {
        QByteArray bytes;
        for (char byte = 0; byte < 0x20; ++byte)
            bytes += byte;
        return bytes + '\x7f';
    }();
    QTest::addRow("the code page's upper half") << QByteArray("\x80\x81\x9f\xa0\xe9\xff");
    QTest::addRow("a slash and an HTML end tag") << QByteArray("</script> a/b");
}

void HistoryReportTest::jsonString()
{
    QFETCH(QByteArray, console);
    const QString text = DecodedConsole(console);
    QCOMPARE(text.size(), console.size());
    const QByteArray document = "[" + JsonString(text).toUtf8() + "]";
    QJsonParseError error;
    const QJsonDocument parsed = QJsonDocument::fromJson(document, &error);
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
    QCOMPARE(parsed.array().at(0).toString(), text);
}

void HistoryReportTest::unreadableStore()
{
    const Printed badSince = print(m_rig->path, QStringLiteral("a month"), ReportFormat::Text);
    QCOMPARE(badSince.status, 2);
    QVERIFY(badSince.out.isEmpty());
    QVERIFY(badSince.err.contains(QStringLiteral("\"a month\"")));

    const Printed missing =
        print(m_folder.filePath(QStringLiteral("none.sqlite")), {}, ReportFormat::Text);
    QCOMPARE(missing.status, 1);
    QVERIFY(missing.err.contains(QStringLiteral("does not exist")));

    const QString garbage = m_folder.filePath(QStringLiteral("garbage.sqlite"));
    QFile file(garbage);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("not a database\n").repeated(100));
    file.close();
    const Printed unreadable = print(garbage, {}, ReportFormat::Csv);
    QCOMPARE(unreadable.status, 1);
    QVERIFY(unreadable.out.isEmpty());
    QVERIFY2(unreadable.err.contains(QStringLiteral("cannot be read")), qPrintable(unreadable.err));
}

// The outage lasting at a clean stop ends there, marked, and its length stops growing.
void HistoryReportTest::outageEndedByStopIsMarked()
{
    m_rig->recorder.watchStopped();
    m_rig->clock.advanceMs(2LL * 3600 * 1000);
    const Printed printed = print(m_rig->path, QStringLiteral("24h"), ReportFormat::Text);
    QCOMPARE(printed.status, 0);
    QVERIFY2(printed.out.contains(QStringLiteral("2026-03-03 23:57:00  2026-03-03 23:59:00* ")),
             qPrintable(printed.out));
    QVERIFY(printed.out.contains(QStringLiteral("* Corvane was stopped during the outage")));
    QVERIFY(!printed.out.contains(QStringLiteral("(lasting)")));
}

QTEST_GUILESS_MAIN(HistoryReportTest)
#include "tst_history_report.moc"
