#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// Reads a numeric field the way a user means it: surrounding blanks ignored, an
// optional sign, decimal digits and an optional fraction after the locale's decimal
// separator, rounded to the nearest whole number with halves going to the even
// neighbour. Anything else, or a value outside the range, does not convert.
std::optional<qint32> WholeNumber32(const QString &text);
std::optional<qint16> WholeNumber16(const QString &text);
