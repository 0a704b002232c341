#pragma once

#include "HistoryQueries.h"
#include "HistorySource.h"
#include "ReportFormat.h"

#include <QTextStream>

#include <memory>

// What a report says of its whole range, read before its ledger.
struct ReportSummary
{
    qint64 fromMs = 0;
    qint64 toMs = 0;
    Availability availability;
    OutageTotals totals;
    // The part of the range in which no monitor ran.
    qint64 notMonitoredMs = 0;
};

// One report, written as the ledger is read: what comes before the outages, each
// outage as it arrives, then what comes after them. Nothing is kept between rows, so
// that a ledger of any length is printed in little memory.
class ReportWriter
{
public:
    virtual ~ReportWriter() = default;
    virtual void begin() = 0;
    // lengthMs: the whole outage, one that lasts until the end of the range.
    virtual void outage(const OutageEntry &outage, qint64 lengthMs) = 0;
    virtual void end() = 0;
};

std::unique_ptr<ReportWriter> MakeReportWriter(ReportFormat format, const ReportSummary &summary,
                                               QTextStream &out);

// A JSON string of the text: quotes, backslashes and control characters escaped.
QString JsonString(const QString &text);
