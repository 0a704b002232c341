// Every numeric field goes through this conversion. It is checked against exact
// decimal arithmetic on the digits, in locales whose decimal separators and digits
// differ, so rounding, range and refusal are all covered. The first byte of an input
// picks the locale (the seeds use "0", "1" and "2"), the rest is the field's text.
#include "FuzzProperty.h"
#include "WholeNumber.h"

#include <QLocale>

#include <array>
#include <limits>
#include <optional>

namespace {

struct Decimal
{
    bool negative = false;
    QList<int> integerDigits;
    QList<int> fractionDigits;
};

// The text as sign, digits, separator and digits, or nullopt when anything else is in
// it, blanks around it aside.
std::optional<Decimal> ReadDecimal(const QString &text, const QString &separator)
{
    const QString trimmed = text.trimmed();
    Decimal decimal;
    qsizetype position = 0;
    if (position < trimmed.size() && (trimmed[position] == u'+' || trimmed[position] == u'-'))
        decimal.negative = trimmed[position++] == u'-';
    bool inFraction = false;
    while (position < trimmed.size()) {
        if (!inFraction && QStringView(trimmed).sliced(position).startsWith(separator)) {
            inFraction = true;
            position += separator.size();
            continue;
        }
        const QChar character = trimmed[position++];
        if (!character.isDigit())
            return std::nullopt;
        (inFraction ? decimal.fractionDigits : decimal.integerDigits)
            .append(character.digitValue());
    }
    if (decimal.integerDigits.isEmpty() && decimal.fractionDigits.isEmpty())
        return std::nullopt;
    return decimal;
}

enum class Half
{
    Below,
    Exactly,
    Above,
};

// The fraction against one half, exactly: 128-bit integers hold 30 digits, and any
// digit past them only matters when those 30 read exactly one half.
Half CompareWithHalf(QList<int> digits)
{
    while (!digits.isEmpty() && digits.last() == 0)
        digits.removeLast();
    if (digits.isEmpty())
        return Half::Below;
    constexpr qsizetype kExactDigits = 30;
    const bool restNonZero = digits.size() > kExactDigits;
    const qsizetype counted = std::min(digits.size(), kExactDigits);
    unsigned __int128 fraction = 0;
    unsigned __int128 half = 5;
    for (qsizetype index = 0; index < counted; ++index) {
        fraction = fraction * 10 + unsigned(digits[index]);
        if (index > 0)
            half *= 10;
    }
    if (fraction > half || (fraction == half && restNonZero))
        return Half::Above;
    return fraction == half ? Half::Exactly : Half::Below;
}

// The rounded value, or nullopt when it lies beyond any 32-bit number anyway.
std::optional<qint64> ReferenceValue(const Decimal &decimal)
{
    QList<int> integerDigits = decimal.integerDigits;
    while (!integerDigits.isEmpty() && integerDigits.first() == 0)
        integerDigits.removeFirst();
    if (integerDigits.size() > 11)
        return std::nullopt;
    qint64 magnitude = 0;
    for (const int digit : integerDigits)
        magnitude = magnitude * 10 + digit;
    const Half half = CompareWithHalf(decimal.fractionDigits);
    if (half == Half::Above || (half == Half::Exactly && magnitude % 2 == 1))
        ++magnitude;
    return decimal.negative ? -magnitude : magnitude;
}

template <typename Integer> std::optional<Integer> InRange(std::optional<qint64> value)
{
    if (!value || *value < std::numeric_limits<Integer>::min() ||
        *value > std::numeric_limits<Integer>::max())
        return std::nullopt;
    return Integer(*value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    // "," in German, and in Arabic both its own separator and its own digits.
    static const std::array<QLocale, 3> kLocales = {
        QLocale::c(),
        QLocale(QLocale::German, QLocale::Germany),
        QLocale(QLocale::Arabic, QLocale::Egypt),
    };
    const QLocale &locale = kLocales[data[0] % kLocales.size()];
    QLocale::setDefault(locale);
    const QString text = FuzzText(data + 1, size - 1);

    const std::optional<Decimal> decimal = ReadDecimal(text, locale.decimalPoint());
    const std::optional<qint64> expected =
        decimal ? ReferenceValue(*decimal) : std::optional<qint64>();

    RequireProperty(WholeNumber32(text) == InRange<qint32>(expected),
                    "32-bit conversion agrees with exact decimal rounding, halves to even");
    RequireProperty(WholeNumber16(text) == InRange<qint16>(expected),
                    "16-bit conversion agrees with exact decimal rounding, halves to even");
    return 0;
}
