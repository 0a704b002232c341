#pragma once

#include "HistorySource.h"

#include <QByteArray>
#include <QString>

// The ledger as a CSV file (RFC 4180, UTF-8, CR LF line ends), one outage a row
// after a header: start and end as ISO 8601 times with the user's UTC offset, the
// duration in whole seconds, failing cycles, fail commands sent, the router's
// response (CsvResponse) and the marks of an end that is only the last cycle seen
// (CsvEndMarks), then why a limit began it (CsvReason). An outage that lasts has an
// empty end and duration.
QByteArray LedgerCsv(const QList<OutageEntry> &outages);

// The header line of the ledger's rows, the command line's CSV report's too. Columns
// added later go at the end, so that a reader that counts them still finds the rest.
inline constexpr char kLedgerCsvHeader[] = "start,end,duration_seconds,failing_cycles,"
                                           "fail_commands_sent,router_response,ended_by_stop,"
                                           "ended_unwatched,reason\r\n";

// A field with a separator, a quote or a line break goes in quotes, its quotes
// doubled; a spreadsheet would otherwise split or join rows.
QString CsvField(QString text);

// The router's response as both CSV files write it, the window's and the command
// line's report's: on one line (PrintableConsole), so that a row is a line for line
// tools and spreadsheets alike, and a field of its own.
QString CsvResponse(const QByteArray &console);

// "1" or "0" for a stop that ended the outage, then for an end without a stop.
QString CsvEndMarks(const OutageEntry &outage);

// Why a limit failed the cycle that began the outage, on one line as the router's
// response is (PrintableText), in a field of its own: an address typed with a comma or
// a quote in it stays inside the field. Empty where no limit decided.
QString CsvReason(const OutageEntry &outage);
