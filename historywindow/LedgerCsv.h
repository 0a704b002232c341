#pragma once

#include "HistorySource.h"

#include <QByteArray>

// The ledger as a CSV file (RFC 4180, UTF-8, CR LF line ends), one outage a row
// after a header: start and end as ISO 8601 times with the user's UTC offset, the
// duration in whole seconds, failing cycles, fail commands sent and the router's
// response on one line. An outage that lasts has an empty end and duration.
QByteArray LedgerCsv(const QList<OutageEntry> &outages);
