// Command strings are typed by the user and go to the router byte by byte. The
// decoder must never make up bytes, must always end with the carriage return that
// runs the command, and must pace every control character the console acts on.
#include "CaretNotation.h"
#include "FuzzProperty.h"

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <array>
#include <utility>

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

// The Windows-1252 code page as its published table has it: the 27 characters it
// puts at 0x80 to 0x9F, the five codes left free there standing for themselves, and
// every other character up to 0xFF for its own code.
constexpr std::array<std::pair<char32_t, quint8>, 27> kHighHalf{{
    {U'\u20ac', 0x80}, {U'\u201a', 0x82}, {U'\u0192', 0x83}, {U'\u201e', 0x84}, {U'\u2026', 0x85},
    {U'\u2020', 0x86}, {U'\u2021', 0x87}, {U'\u02c6', 0x88}, {U'\u2030', 0x89}, {U'\u0160', 0x8a},
    {U'\u2039', 0x8b}, {U'\u0152', 0x8c}, {U'\u017d', 0x8e}, {U'\u2018', 0x91}, {U'\u2019', 0x92},
    {U'\u201c', 0x93}, {U'\u201d', 0x94}, {U'\u2022', 0x95}, {U'\u2013', 0x96}, {U'\u2014', 0x97},
    {U'\u02dc', 0x98}, {U'\u2122', 0x99}, {U'\u0161', 0x9a}, {U'\u203a', 0x9b}, {U'\u0153', 0x9c},
    {U'\u017e', 0x9e}, {U'\u0178', 0x9f},
}};

char ReferenceByte(char32_t character)
{
    for (const auto &[mapped, code] : kHighHalf) {
        if (mapped == character)
            return char(code);
    }
    const bool freeCode = character == 0x81 || character == 0x8d || character == 0x8f ||
                          character == 0x90 || character == 0x9d;
    if (character < 0x80 || freeCode || (character >= 0xa0 && character <= 0xff))
        return char(character);
    return '?';
}

// Without carets every character stands for its byte in the code page, and one
// without a byte for "?".
QByteArray ReferenceWithoutCarets(const QString &text)
{
    QByteArray bytes;
    for (const uint character : text.toUcs4())
        bytes.append(ReferenceByte(character));
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
    bool failed = false;
    for (const CommandByte &commandByte : decoded) {
        bytes.append(commandByte.byte);
        failed = failed || !commandByte.failure.isEmpty();
    }
    if (!text.contains(u'^')) {
        RequireProperty(bytes == ReferenceWithoutCarets(text),
                        "text without carets decodes to its Windows-1252 bytes");
        RequireProperty(!failed, "only a caret pair can fail");
    }
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](QChar character) { return character.unicode() < 128; });
    if (ascii)
        RequireProperty(bytes == ReferenceAscii(text), "ASCII text decodes as the notation says");
    return 0;
}
