#pragma once

#include <QDate>
#include <QString>
#include <QTime>

// Texts in the user's formats, read from the default QLocale.

// The short date format, such as 12/7/26.
QString ShortDateText(QDate date);
// The long time format with seconds and, where the locale has it, AM/PM, but
// without a time zone, such as 12:00:00 AM.
QString LongTimeText(QTime time);
// The long time format as a QTime format string, time zone removed.
QString LongTimeFormat();
// A number in general form: at most 15 significant digits, no trailing zeros, no
// decimal separator for a whole number, the locale's decimal separator otherwise.
QString GeneralNumberText(double value);
