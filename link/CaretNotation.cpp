#include "CaretNotation.h"

#include <QChar>

namespace {

constexpr char32_t kCaret = U'^';
constexpr char kCarriageReturn = 13;
// The console acts on these, so they are followed by the long gap.
constexpr int kLastControlCode = 26;

QString Printable(char32_t character)
{
    return QString::fromUcs4(&character, 1);
}

// The code the caret pair stands for, or a negative number when there is none.
int CaretCode(char32_t character)
{
    char32_t upper = QChar::toUpper(character);
    if (upper > 0xFF)
        upper = character;
    return static_cast<int>(upper) - 64;
}

CommandByte MakeByte(int code, QString failure = {})
{
    const GapAfter gap = code <= kLastControlCode ? GapAfter::Long : GapAfter::Short;
    return {static_cast<char>(static_cast<unsigned char>(code)), gap, std::move(failure)};
}

CommandByte PlainCharacter(char32_t character)
{
    if (character > 0xFF)
        return MakeByte('?',
                        QStringLiteral("\"%1\" cannot be sent as a single byte; \"?\" was sent "
                                       "in its place.")
                            .arg(Printable(character)));
    return MakeByte(static_cast<int>(character));
}

CommandByte CaretPair(char32_t character)
{
    if (character == kCaret || character > 0xFF)
        return PlainCharacter(character);
    const int code = CaretCode(character);
    if (code < 0)
        return MakeByte(static_cast<int>(character),
                        QStringLiteral("\"^%1\" does not stand for a control character; \"%1\" was "
                                       "sent as it is.")
                            .arg(Printable(character)));
    return MakeByte(code);
}

} // namespace

QList<CommandByte> DecodeCommand(const QString &command)
{
    // Whole code points, so that a character outside the basic plane is one "?".
    const QList<uint> characters = command.toUcs4();
    QList<CommandByte> bytes;
    bytes.reserve(characters.size() + 1);
    for (qsizetype i = 0; i < characters.size(); ++i) {
        if (characters[i] == kCaret && i + 1 < characters.size())
            bytes.append(CaretPair(characters[++i]));
        else
            bytes.append(PlainCharacter(characters[i]));
    }
    if (bytes.isEmpty() || bytes.last().byte != kCarriageReturn)
        bytes.append({kCarriageReturn, GapAfter::None, {}});
    return bytes;
}
