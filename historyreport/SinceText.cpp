#include "SinceText.h"

#include "HistorySource.h"

#include <QRegularExpression>

namespace {

qint64 UnitMs(QChar unit)
{
    switch (unit.toLower().unicode()) {
    case 'h':
        return kHourMs;
    case 'd':
        return kDayMs;
    case 'w':
        return 7 * kDayMs;
    default:
        return 365 * kDayMs;
    }
}

} // namespace

std::optional<qint64> ParseSinceText(const QString &text, QString &error)
{
    // ASCII digits only: \d would also take digits of other scripts.
    static const QRegularExpression kLength(QStringLiteral("^\\s*([0-9]+)\\s*([hdwy])\\s*$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = kLength.match(text);
    if (!match.hasMatch()) {
        error = QStringLiteral("The value of --since, \"%1\", is not a length of time: write a"
                               " whole number followed by h, d, w or y, such as 24h, 7d, 30d"
                               " or 1y.")
                    .arg(text);
        return std::nullopt;
    }
    const qint64 unitMs = UnitMs(match.captured(2).front());
    bool converted = false;
    const qint64 count = match.captured(1).toLongLong(&converted);
    if (!converted || count < 1 || count > kLongestSinceMs / unitMs) {
        error = QStringLiteral("The value of --since, \"%1\", must be at least 1 and at most"
                               " 100 years.")
                    .arg(text);
        return std::nullopt;
    }
    return count * unitMs;
}
