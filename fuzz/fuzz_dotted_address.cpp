// Address fields hold whatever the user typed; the parser must give 0 for anything
// that is not four parts from 0 to 255 and the exact bytes for anything that is.
#include "EchoProbe.h"
#include "FuzzProperty.h"

#include <QList>

#include <array>
#include <cstring>
#include <optional>

namespace {

// A second reading of one part, written apart from the parser: an optional sign and
// ASCII digits whose value lies between 0 and 255.
std::optional<quint8> ReferencePart(QStringView part)
{
    const bool signedPart = !part.isEmpty() && (part[0] == u'+' || part[0] == u'-');
    QStringView digits = part.sliced(signedPart ? 1 : 0);
    if (digits.isEmpty())
        return std::nullopt;
    for (const QChar character : digits) {
        if (character < u'0' || character > u'9')
            return std::nullopt;
    }
    while (digits.size() > 1 && digits[0] == u'0')
        digits = digits.sliced(1);
    if (digits.size() > 3)
        return std::nullopt;
    int value = 0;
    for (const QChar character : digits)
        value = value * 10 + (character.unicode() - u'0');
    if (part[0] == u'-')
        value = -value;
    if (value < 0 || value > 255)
        return std::nullopt;
    return quint8(value);
}

std::array<quint8, 4> ReferenceBytes(const QString &text)
{
    const QList<QStringView> parts = QStringView(text).trimmed().split(u'.');
    if (parts.size() != 4)
        return {};
    std::array<quint8, 4> bytes{};
    for (qsizetype index = 0; index < 4; ++index) {
        const std::optional<quint8> value = ReferencePart(parts[index]);
        if (!value)
            return {};
        bytes[index] = *value;
    }
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = FuzzText(data, size);
    const quint32 address = ParseDottedAddress(text);

    RequireProperty(address == 0 || text.count(u'.') == 3,
                    "a non-zero address comes from exactly four dot-separated parts");

    const std::array<quint8, 4> expected = ReferenceBytes(text);
    RequireProperty(std::memcmp(&address, expected.data(), sizeof address) == 0,
                    "the address bytes are the parts, first part first in memory");

    const QString padded = QStringLiteral(" \t") + text + QStringLiteral("\r\n ");
    RequireProperty(ParseDottedAddress(padded) == address, "blanks around the text change nothing");
    return 0;
}
