#pragma once

#include "HistorySource.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// What the History window, its CSV file and corvane --history say about a range: the
// figures and the texts of the ledger's rows.

// The router's console output as text, read in the router's code page
// (Windows-1252), every byte kept.
QString DecodedConsole(const QByteArray &bytes);

// Text on one line: line breaks (and the line and paragraph separators) as " | ",
// other control characters in caret notation
// ("^[" for escape, "^?" for delete, "^@" for NUL), a tab as a blank, any other
// character that shows nothing (a C1 control, a direction mark) as "?", with blanks
// at either end trimmed. A terminal, a spreadsheet or a line tool then gets one line
// that acts on nothing.
QString PrintableText(const QString &text);

// The router's console output read in its code page (Windows-1252), as PrintableText
// puts it on one line.
QString PrintableConsole(const QByteArray &bytes);

struct RangeFigures
{
    // Empty when the range holds no cycle.
    std::optional<double> availabilityPercent;
    qsizetype outages = 0;
    // The part of the outages inside the range; one that lasts counts until nowMs.
    qint64 outageMs = 0;
};
RangeFigures FiguresOf(const HistoryRange &range, qint64 nowMs);

// "Outages: 3, 1 h 12 min in total".
QString OutagesText(const RangeFigures &figures);

// The one line on availability that the window and the report show alike:
// "Availability 99.791 % of the monitored time (4,311 of 4,320 cycles answered;
// 3 h 12 min not monitored)". The share of the cycles answered, rounded down so that
// a range with a failing cycle never reads 100 %, beside how much of the range
// (rangeMs long) nobody watched, which the share says nothing about.
QString AvailabilityText(qint64 cycles, qint64 answeredCycles, qint64 notMonitoredMs,
                         qint64 rangeMs);
// That share alone, "99.791"; cycles must not be 0.
QString AvailabilityPercentText(qint64 cycles, qint64 answeredCycles);

// The mark after the end of an outage that nobody saw end: '*' where Corvane was
// stopped during it, '+' where it ended without a stop; empty for any other.
QString EndMark(const OutageEntry &outage);
// The notes under a ledger on the marks it shows, one a line.
QStringList EndMarkNotes(bool stopMarked, bool unwatchedMarked);

// A time of the ledger in the user's time zone, to the second: 2026-12-07 14:03:12.
QString LedgerTimeText(qint64 atMs);
