#include "CaretNotation.h"

#include <QChar>
#include <QHash>
#include <QStringDecoder>

namespace {

constexpr char32_t kCaret = U'^';
constexpr char kCarriageReturn = 13;
constexpr char kNoByte = '?';
// The console acts on these, so they are followed by the long gap.
constexpr int kLastControlCode = 26;

QString Printable(char32_t character)
{
    return QString::fromUcs4(&character, 1);
}

// Each character of the router's code page with its byte, read from the code page's
// own decoder so that the table cannot drift from it. An encoder would do the same
// one character at a time, but Qt keeps an encoder's error flag set once it has met
// a character without a byte, so the table is the simpler way to tell those apart.
QHash<char32_t, quint8> CodePageBytes()
{
    QByteArray everyByte(256, '\0');
    for (int code = 0; code < 256; ++code)
        everyByte[code] = static_cast<char>(code);
    QStringDecoder decoder("windows-1252");
    const QString decoded = decoder.decode(everyByte);
    const QList<uint> characters = decoded.toUcs4();

    QHash<char32_t, quint8> bytes;
    for (qsizetype code = 0; code < characters.size(); ++code)
        bytes.insert(characters[code], static_cast<quint8>(code));
    return bytes;
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

// A character the code page has no byte for goes as "?" without a failure: the
// rest of the command still reaches the router, and a failure would end in a box
// that closes the port until the user confirms it again.
CommandByte PlainCharacter(char32_t character)
{
    static const QHash<char32_t, quint8> kCodePage = CodePageBytes();
    return MakeByte(kCodePage.value(character, kNoByte));
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
