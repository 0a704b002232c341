// Command strings are typed by the user and go to the router byte by byte. The
// decoder must never make up bytes, must always end with the carriage return that
// runs the command, and must pace every control character the console acts on.
#include "CaretNotation.h"
#include "FuzzProperty.h"

#include <QByteArray>
#include <QList>

#include <algorithm>

namespace {

constexpr char kCarriageReturn = 13;

QByteArray WithClosingReturn(QByteArray bytes)
{
    if (bytes.isEmpty() || bytes.back() != kCarriageReturn)
        bytes.append(kCarriageReturn);
    return bytes;
}

// A decoder of its own for ASCII text, written from the notation rather than from
// the code: "^" and a character gives its upper-case code minus 64, unless that is
// negative, "^^" is a caret and a final "^" stays.
QByteArray ReferenceAscii(const QString &text)
{
    QByteArray bytes;
    for (qsizetype index = 0; index < text.size(); ++index) {
        const char character = char(text[index].unicode());
        if (character != '^' || index + 1 == text.size()) {
            bytes.append(character);
            continue;
        }
        const char next = char(text[++index].unicode());
        const int upper = next >= 'a' && next <= 'z' ? next - 'a' + 'A' : next;
        bytes.append(next == '^' || upper < 64 ? next : char(upper - 64));
    }
    return WithClosingReturn(bytes);
}

// Without carets every character stands for itself, and one outside Latin-1 for "?".
QByteArray ReferenceWithoutCarets(const QString &text)
{
    QByteArray bytes;
    for (const uint character : text.toUcs4())
        bytes.append(character <= 0xFF ? char(character) : '?');
    return WithClosingReturn(bytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = FuzzText(data, size);
    const QList<CommandByte> decoded = DecodeCommand(text);

    RequireProperty(decoded.size() <= text.toUcs4().size() + 1,
                    "no more bytes than characters, plus the closing carriage return");
    RequireProperty(!decoded.isEmpty() && decoded.back().byte == kCarriageReturn,
                    "every command ends with a carriage return");
    for (qsizetype index = 0; index + 1 < decoded.size(); ++index) {
        const bool control = quint8(decoded[index].byte) <= 26;
        RequireProperty(decoded[index].gap == (control ? GapAfter::Long : GapAfter::Short),
                        "a control character is followed by the long gap, any other by the short");
    }
    RequireProperty(decoded.back().gap != GapAfter::Short,
                    "the closing carriage return is not followed by the short gap");

    QByteArray bytes;
    for (const CommandByte &commandByte : decoded)
        bytes.append(commandByte.byte);
    if (!text.contains(u'^'))
        RequireProperty(bytes == ReferenceWithoutCarets(text),
                        "text without carets decodes to its Latin-1 bytes");
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](QChar character) { return character.unicode() < 128; });
    if (ascii)
        RequireProperty(bytes == ReferenceAscii(text), "ASCII text decodes as the notation says");
    return 0;
}
