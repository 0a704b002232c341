#include "WholeNumber.h"

#include <QLocale>

#include <limits>

namespace {

// Rounds the magnitude of the text to a whole number without going through a
// floating-point value, so that 2.5 is exactly a half and goes to 2.
std::optional<qint64> RoundedValue(const QString &text)
{
    const QString trimmed = text.trimmed();
    const QString decimalSeparator = QLocale().decimalPoint();
    qsizetype position = 0;
    bool negative = false;
    if (position < trimmed.size() && (trimmed[position] == u'+' || trimmed[position] == u'-')) {
        negative = trimmed[position] == u'-';
        ++position;
    }

    // Eleven digits already exceed any 32-bit value; stop before qint64 could overflow.
    constexpr int kMaxSignificantDigits = 12;
    qint64 integerPart = 0;
    int integerDigits = 0;
    int significantDigits = 0;
    while (position < trimmed.size() && trimmed[position].isDigit()) {
        const int digit = trimmed[position].digitValue();
        if (digit < 0)
            return std::nullopt;
        if (integerPart != 0 || digit != 0)
            ++significantDigits;
        if (significantDigits > kMaxSignificantDigits)
            return std::nullopt;
        integerPart = integerPart * 10 + digit;
        ++integerDigits;
        ++position;
    }

    int fractionDigits = 0;
    int firstFractionDigit = 0;
    bool restOfFractionNonZero = false;
    if (!decimalSeparator.isEmpty() && trimmed.mid(position).startsWith(decimalSeparator)) {
        position += decimalSeparator.size();
        while (position < trimmed.size() && trimmed[position].isDigit()) {
            const int digit = trimmed[position].digitValue();
            if (digit < 0)
                return std::nullopt;
            if (fractionDigits == 0)
                firstFractionDigit = digit;
            else if (digit != 0)
                restOfFractionNonZero = true;
            ++fractionDigits;
            ++position;
        }
    }

    if (position != trimmed.size() || integerDigits + fractionDigits == 0)
        return std::nullopt;

    const bool aboveHalf =
        firstFractionDigit > 5 || (firstFractionDigit == 5 && restOfFractionNonZero);
    const bool exactlyHalf = firstFractionDigit == 5 && !restOfFractionNonZero;
    if (aboveHalf || (exactlyHalf && integerPart % 2 != 0))
        ++integerPart;
    return negative ? -integerPart : integerPart;
}

template <typename Integer> std::optional<Integer> WholeNumberIn(const QString &text)
{
    const std::optional<qint64> value = RoundedValue(text);
    if (!value || *value < std::numeric_limits<Integer>::min() ||
        *value > std::numeric_limits<Integer>::max())
        return std::nullopt;
    return static_cast<Integer>(*value);
}

} // namespace

std::optional<qint32> WholeNumber32(const QString &text)
{
    return WholeNumberIn<qint32>(text);
}

std::optional<qint16> WholeNumber16(const QString &text)
{
    return WholeNumberIn<qint16>(text);
}
