#pragma once

#include <QString>
#include <QTextStream>

class Clock;

// corvane --history [--since LENGTH] [--csv]: prints the ledger of the outages that
// overlap the range and the availability within it, in text for people or in CSV
// (the ledger, a blank line, then the availability). The store is opened read-only,
// takes no lock and may be written meanwhile. An empty sinceText means 30 days.
// Returns the exit status: 0 when printed, 1 when the store cannot be read, 2 for a
// bad --since value; the reason goes to err.
int PrintHistoryReport(const QString &storePath, const QString &sinceText, bool csv,
                       QTextStream &out, QTextStream &err, const Clock &clock);
