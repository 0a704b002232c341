#pragma once

#include "ReportFormat.h"

#include <QString>
#include <QTextStream>

class Clock;

// corvane --history [--since LENGTH] [--csv | --json]: prints the ledger of the
// outages that overlap the range and the availability within it, beside the time in it
// that no monitor watched, as text for people,
// as one CSV table (the ledger) or as one JSON document. The store is opened
// read-only, takes no lock and may be written meanwhile; the report reads one
// snapshot of it. Rows go out as they are read. An empty sinceText means 30 days.
// An outage left open in a store that no monitor holds ends at its last cycle, marked
// as ended unwatched, as the next start will record it; and so does the watching.
// Returns the exit status: 0 when printed; 1 when the store cannot be read, its
// reason on err, or when out fails, which the report then stops at once and leaves
// to the caller to tell; 2 for a bad --since value.
int PrintHistoryReport(const QString &storePath, const QString &sinceText, ReportFormat format,
                       QTextStream &out, QTextStream &err, const Clock &clock);
