#include "RelayFrame.h"

namespace {

constexpr char16_t kFirstPrintable = 0x20;
constexpr char16_t kLastPrintable = 0x7e;
constexpr char16_t kLastAscii = 0x7f;

bool IsPrintableAscii(char16_t character)
{
    return character >= kFirstPrintable && character <= kLastPrintable;
}

int HexDigit(char16_t character)
{
    if (character >= u'0' && character <= u'9')
        return character - u'0';
    if (character >= u'a' && character <= u'f')
        return character - u'a' + 10;
    if (character >= u'A' && character <= u'F')
        return character - u'A' + 10;
    return -1;
}

// Where the character stands in the text, counted from 1 as a user counts.
QString At(qsizetype index)
{
    return QStringLiteral(" (character %1)").arg(index + 1);
}

RelayFrame RefusedFrame(QString why)
{
    return {QByteArray(), std::move(why)};
}

} // namespace

RelayFrame ParseRelayFrame(const QString &text)
{
    QByteArray bytes;
    for (qsizetype index = 0; index < text.size(); ++index) {
        const char16_t character = text[index].unicode();
        // A control character stands for itself: the settings file reads some
        // hand-written "\\x1b" forms as the character already.
        if (character > kLastAscii)
            return RefusedFrame(
                QStringLiteral("Only ASCII may be written as it is; write any other "
                               "byte as \\xHH%1.")
                    .arg(At(index)));
        if (character == u'^') {
            if (index + 1 == text.size())
                return RefusedFrame(
                    QStringLiteral("A caret at the end stands for nothing; write ^^ "
                                   "for the caret itself%1.")
                        .arg(At(index)));
            const char16_t next = text[++index].unicode();
            if (!IsPrintableAscii(next))
                return RefusedFrame(QStringLiteral("A caret must be followed by printable ASCII%1.")
                                        .arg(At(index)));
            if (next == u'^') {
                bytes.append('^');
                continue;
            }
            const char16_t upper = next >= u'a' && next <= u'z' ? next - u'a' + u'A' : next;
            // Only the control bytes: a printable character is written as itself.
            if (upper < u'@' || upper > u'_')
                return RefusedFrame(
                    QStringLiteral("\"^%1\" stands for no byte; a caret is followed "
                                   "by @, a letter or one of [ \\ ] ^ _%2.")
                        .arg(QChar(next))
                        .arg(At(index)));
            bytes.append(char(upper - u'@'));
            continue;
        }
        if (character != u'\\') {
            bytes.append(char(character));
            continue;
        }
        if (index + 1 < text.size() && text[index + 1] == u'\\') {
            bytes.append('\\');
            ++index;
            continue;
        }
        if (index + 1 == text.size() || text[index + 1] != u'x')
            return RefusedFrame(
                QStringLiteral("A backslash starts \\xHH, or \\\\ for the backslash "
                               "itself%1.")
                    .arg(At(index)));
        const int high = index + 2 < text.size() ? HexDigit(text[index + 2].unicode()) : -1;
        const int low = index + 3 < text.size() ? HexDigit(text[index + 3].unicode()) : -1;
        if (high < 0 || low < 0)
            return RefusedFrame(
                QStringLiteral("\\x must be followed by two hex digits, such as \\xA0%1.")
                    .arg(At(index)));
        bytes.append(char(high * 16 + low));
        index += 3;
    }
    return {bytes, QString()};
}

QString RelayFrameText(const QByteArray &bytes)
{
    QString text;
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (byte == '^' || byte == '\\')
            text += QString(2, QChar(byte));
        else if (IsPrintableAscii(code))
            text += QChar(code);
        else
            text += QStringLiteral("\\x") +
                    QStringLiteral("%1").arg(code, 2, 16, QChar(u'0')).toUpper();
    }
    return text;
}
