#pragma once

#include <QString>
#include <QTime>

#include <optional>

// The time of day a schedule field's text names: 12-hour and 24-hour forms, with or
// without seconds, in English or the user's locale, plus the user's own time formats.
// Blanks around the text are ignored. A text that also carries a date is refused:
// the schedule compares times of day only, so a date would leave a slot that looks
// set but can never fire.
std::optional<QTime> ParseTimeOfDay(const QString &text);

// The time as a schedule field shows it: the user's long time format with seconds
// and, where the locale has it, AM or PM.
QString TimeOfDayText(QTime time);
