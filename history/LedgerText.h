#pragma once

#include "HistorySource.h"

#include <QByteArray>
#include <QString>

#include <optional>

// What the History window and its CSV file say about a range: the figures and the
// texts of the ledger's rows.

// The router's console output as text, read in the router's code page
// (Windows-1252), every byte kept.
QString DecodedConsole(const QByteArray &bytes);

// The router's console output on one line: line breaks as " | ", other control
// characters in caret notation ("^[" for escape, "^?" for delete), the rest read in
// the router's code page (Windows-1252), with blanks at either end trimmed.
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

// A time of the ledger in the user's time zone, to the second: 2026-12-07 14:03:12.
QString LedgerTimeText(qint64 atMs);
