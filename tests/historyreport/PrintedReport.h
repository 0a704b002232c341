#pragma once

#include "Clock.h"
#include "HistoryReport.h"

#include <QString>
#include <QTextStream>

// What corvane --history prints of the store at path at the clock's time; its
// complaints fail the test that reads the output.
inline QString PrintedReport(const QString &path, const QString &since, ReportFormat format,
                             const Clock &clock)
{
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    const int status = PrintHistoryReport(path, since, format, outStream, errStream, clock);
    errStream.flush();
    outStream.flush();
    return status == 0 && err.isEmpty() ? out
                                        : QStringLiteral("status %1: %2").arg(status).arg(err);
}
