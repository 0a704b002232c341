#include "ReportWriters.h"

#include "DurationText.h"
#include "LedgerCsv.h"
#include "LedgerText.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <array>
#include <ctime>

namespace {

constexpr int kResponseColumnWidth = 40;

// As Qt's ISO date in UTC writes it, at a tenth of the cost.
QString UtcTime(qint64 ms)
{
    const time_t seconds = time_t(ms / 1000 - (ms % 1000 < 0 ? 1 : 0));
    tm utc = {};
    std::array<char, 32> text = {};
    if (::gmtime_r(&seconds, &utc) == nullptr ||
        std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%SZ", &utc) == 0)
        return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODate);
    return QString::fromLatin1(text.data());
}

// The router's bytes as one line of a terminal's width: its line breaks and other
// control characters become single spaces, and a long answer is cut short. The C1
// controls too, which the code page's five unused bytes decode to and which some
// terminals act on.
QString ResponseColumn(const QByteArray &console)
{
    static const QRegularExpression kBlanks(QStringLiteral("[\\x00-\\x20\\x7f-\\x9f]+"));
    QString response = DecodedConsole(console).replace(kBlanks, QStringLiteral(" ")).trimmed();
    if (response.size() > kResponseColumnWidth)
        response = response.left(kResponseColumnWidth - 3) + QStringLiteral("...");
    return response;
}

class TextReport final : public ReportWriter
{
public:
    TextReport(const ReportSummary &summary, QTextStream &out) : m_summary(summary), m_out(out) {}

    void begin() override
    {
        m_out << "History from " << LedgerTimeText(m_summary.fromMs) << " to "
              << LedgerTimeText(m_summary.toMs) << "\n\n";
        if (m_summary.totals.outages == 0)
            m_out << "No outages.\n";
        else
            m_out << "Start                End                     Duration  Fail commands  "
                     "Router's response\n";
    }

    void outage(const OutageEntry &outage, qint64 lengthMs) override
    {
        // The end of an outage nobody saw end is its last cycle, not the line's return,
        // and is marked so. The mark takes a column of the gap, so the columns stay aligned.
        const QString mark = EndMark(outage);
        if (!mark.isEmpty())
            (outage.endedByStop ? m_stopsMarked : m_unwatchedMarked) = true;
        const QString end =
            (outage.endMs ? LedgerTimeText(*outage.endMs) : QStringLiteral("(lasting)")) + mark;
        m_out << QStringLiteral("%1  %2 %3  %4  %5")
                     .arg(LedgerTimeText(outage.startMs), end.leftJustified(20),
                          DurationText(lengthMs).rightJustified(11),
                          QString::number(outage.failCommandsSent).rightJustified(13),
                          ResponseColumn(outage.console))
                     .trimmed()
              << '\n';
        // On a line of its own under its outage: the columns keep their widths.
        if (!outage.reason.isEmpty())
            m_out << "  Why: " << PrintableText(outage.reason) << '\n';
    }

    void end() override
    {
        const OutageTotals &totals = m_summary.totals;
        if (totals.outages > 0)
            m_out << '\n'
                  << totals.outages << (totals.outages == 1 ? " outage, " : " outages, ")
                  << DurationText(totals.lengthMs) << " in all.\n";
        for (const QString &note : EndMarkNotes(m_stopsMarked, m_unwatchedMarked))
            m_out << note << '\n';
        const Availability &availability = m_summary.availability;
        m_out << AvailabilityText(availability.cycles, availability.answeredCycles,
                                  m_summary.notMonitoredMs, m_summary.toMs - m_summary.fromMs)
              << '\n';
    }

private:
    const ReportSummary m_summary;
    QTextStream &m_out;
    bool m_stopsMarked = false;
    bool m_unwatchedMarked = false;
};

// The ledger alone, so that a spreadsheet or a CSV tool reads the whole file as one
// table, one outage a line; times in UTC, the router's response as the window's CSV
// file writes it.
class CsvReport final : public ReportWriter
{
public:
    explicit CsvReport(QTextStream &out) : m_out(out) {}

    void begin() override { m_out << kLedgerCsvHeader; }

    void outage(const OutageEntry &outage, qint64 lengthMs) override
    {
        m_out << UtcTime(outage.startMs) << ','
              << (outage.endMs ? UtcTime(*outage.endMs) : QString()) << ',' << lengthMs / 1000
              << ',' << outage.failingCycles << ',' << outage.failCommandsSent << ','
              << CsvResponse(outage.console) << ',' << CsvEndMarks(outage) << ','
              << CsvReason(outage) << "\r\n";
    }

    void end() override {}

private:
    QTextStream &m_out;
};

// One document, written as it goes: the range and its availability first, then the
// ledger, one outage a line, with the router's whole answer as it came, every byte
// (the CSV has it on one line).
class JsonReport final : public ReportWriter
{
public:
    JsonReport(const ReportSummary &summary, QTextStream &out) : m_summary(summary), m_out(out) {}

    void begin() override
    {
        const Availability &availability = m_summary.availability;
        m_out << "{\"from\":\"" << UtcTime(m_summary.fromMs) << "\",\"to\":\""
              << UtcTime(m_summary.toMs) << "\",\"cycles\":" << availability.cycles
              << ",\"answered_cycles\":" << availability.answeredCycles
              << ",\"availability_percent\":"
              << (availability.cycles > 0
                      ? AvailabilityPercentText(availability.cycles, availability.answeredCycles)
                      : QStringLiteral("null"))
              << ",\"outage_count\":" << m_summary.totals.outages
              << ",\"outage_seconds\":" << m_summary.totals.lengthMs / 1000
              << ",\"not_monitored_seconds\":" << m_summary.notMonitoredMs / 1000
              << ",\"outages\":[";
    }

    void outage(const OutageEntry &outage, qint64 lengthMs) override
    {
        m_out << (m_first ? "\n" : ",\n") << "{\"start\":\"" << UtcTime(outage.startMs)
              << "\",\"end\":"
              << (outage.endMs ? u'"' + UtcTime(*outage.endMs) + u'"' : QStringLiteral("null"))
              << ",\"duration_seconds\":" << lengthMs / 1000
              << ",\"failing_cycles\":" << outage.failingCycles
              << ",\"fail_commands_sent\":" << outage.failCommandsSent
              << ",\"ended_by_stop\":" << (outage.endedByStop ? "true" : "false")
              << ",\"ended_unwatched\":" << (outage.endedUnwatched ? "true" : "false")
              << ",\"router_response\":" << JsonString(DecodedConsole(outage.console));
        // Only where a limit decided, so that a history without limits reads as before.
        if (!outage.reason.isEmpty())
            m_out << ",\"reason\":" << JsonString(outage.reason);
        m_out << '}';
        m_first = false;
    }

    void end() override { m_out << (m_first ? "]}\n" : "\n]}\n"); }

private:
    const ReportSummary m_summary;
    QTextStream &m_out;
    bool m_first = true;
};

} // namespace

QString JsonString(const QString &text)
{
    // Qt's writer escapes what JSON requires; the one-element array is only its way in.
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

std::unique_ptr<ReportWriter> MakeReportWriter(ReportFormat format, const ReportSummary &summary,
                                               QTextStream &out)
{
    switch (format) {
    case ReportFormat::Csv:
        return std::make_unique<CsvReport>(out);
    case ReportFormat::Json:
        return std::make_unique<JsonReport>(summary, out);
    case ReportFormat::Text:
        break;
    }
    return std::make_unique<TextReport>(summary, out);
}
