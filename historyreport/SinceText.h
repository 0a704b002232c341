#pragma once

#include <QString>

#include <optional>

// The longest length --since takes; beyond it the milliseconds would not be a time.
constexpr qint64 kLongestSinceMs = 100LL * 365 * 24 * 3600 * 1000;

// The length of time the value of --since gives: a whole number of at least 1
// followed by h (hours), d (days), w (weeks) or y (years of 365 days), such as 24h,
// 7d, 30d or 1y; spaces around it and capitals are allowed. Otherwise empty, with the
// reason for the user in error.
std::optional<qint64> ParseSinceText(const QString &text, QString &error);
