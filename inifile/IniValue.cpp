#include "IniValue.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr char16_t kQuote = u'"';
constexpr char16_t kBackslash = u'\\';

bool IsControl(char16_t code)
{
    return code < 0x20 || code == 0x7F;
}

bool IsHexDigit(QChar character)
{
    const char16_t code = character.unicode();
    return (code >= u'0' && code <= u'9') || (code >= u'a' && code <= u'f') ||
           (code >= u'A' && code <= u'F');
}

unsigned HexDigitValue(QChar character)
{
    const char16_t code = character.unicode();
    if (code <= u'9')
        return code - u'0';
    return (code | 0x20) - u'a' + 10;
}

bool IsOctalDigit(QChar character)
{
    return character.unicode() >= u'0' && character.unicode() <= u'7';
}

// Half of a surrogate pair without its other half cannot be written as UTF-8.
bool IsLoneSurrogate(const QString &text, qsizetype index)
{
    const QChar character = text[index];
    if (character.isHighSurrogate())
        return index + 1 == text.size() || !text[index + 1].isLowSurrogate();
    if (character.isLowSurrogate())
        return index == 0 || !text[index - 1].isHighSurrogate();
    return false;
}

struct NamedEscape
{
    char16_t letter;
    char16_t code;
};

const NamedEscape kNamedEscapes[] = {{u'a', u'\a'},  {u'b', u'\b'}, {u'f', u'\f'}, {u'n', u'\n'},
                                     {u'r', u'\r'},  {u't', u'\t'}, {u'v', u'\v'}, {u'"', u'"'},
                                     {u'\\', u'\\'}, {u'?', u'?'},  {u'\'', u'\''}};

// The letter after the backslash that writes a character, or 0 when it has none. "?"
// and "'" are only ever read.
char16_t EscapeLetter(char16_t code)
{
    for (const NamedEscape &escape : kNamedEscapes) {
        if (escape.code == code && escape.letter != u'?' && escape.letter != u'\'')
            return escape.letter;
    }
    return 0;
}

QString HexEscape(char16_t code)
{
    return QStringLiteral("\\x") + QString::number(code, 16);
}

// Backslash escapes as earlier versions read them: a named character, "\x" with any
// number of hexadecimal digits, or octal digits. A backslash before anything else, or
// at the very end, stands for nothing.
QString Unescaped(QStringView text)
{
    QString result;
    result.reserve(text.size());
    qsizetype index = 0;
    while (index < text.size()) {
        const QChar character = text[index++];
        if (character != kBackslash) {
            result += character;
            continue;
        }
        if (index == text.size())
            break;
        const QChar escaped = text[index++];
        const auto named =
            std::find_if(std::begin(kNamedEscapes), std::end(kNamedEscapes),
                         [escaped](const NamedEscape &escape) { return escape.letter == escaped; });
        if (named != std::end(kNamedEscapes)) {
            result += QChar(named->code);
        } else if (escaped == u'x') {
            // Digits beyond four wrap around, as they always did.
            quint16 code = 0;
            const qsizetype start = index;
            for (; index < text.size() && IsHexDigit(text[index]); ++index)
                code = quint16((code << 4) | HexDigitValue(text[index]));
            if (index > start)
                result += QChar(code);
        } else if (IsOctalDigit(escaped)) {
            quint16 code = escaped.unicode() - u'0';
            for (; index < text.size() && IsOctalDigit(text[index]); ++index)
                code = quint16((code << 3) | (text[index].unicode() - u'0'));
            result += QChar(code);
        }
    }
    return result;
}

// "\x" takes every hexadecimal digit that follows, so a digit right after such an
// escape is escaped too.
void AppendEscaped(QString &result, QChar character, bool &escapeNextHexDigit, bool hexEscape)
{
    if (escapeNextHexDigit && IsHexDigit(character)) {
        result += HexEscape(character.unicode());
        return;
    }
    escapeNextHexDigit = false;
    if (const char16_t letter = EscapeLetter(character.unicode())) {
        result += kBackslash;
        result += QChar(letter);
    } else if (hexEscape) {
        result += HexEscape(character.unicode());
        escapeNextHexDigit = true;
    } else {
        result += character;
    }
}

// What earlier versions wrote for a text: a leading "@" doubled, backslashes and
// control characters escaped, and quotes only around a text holding ";", "," or "="
// or starting or ending with a space.
QString EarlierNotation(const QString &text)
{
    const QString marked = text.startsWith(u'@') ? u'@' + text : text;
    QString result;
    bool needsQuotes = false;
    bool escapeNextHexDigit = false;
    for (const QChar character : marked) {
        needsQuotes = needsQuotes || character == u';' || character == u',' || character == u'=';
        if (character == u'\0') {
            result += QStringLiteral("\\0");
            escapeNextHexDigit = true;
            continue;
        }
        AppendEscaped(result, character, escapeNextHexDigit, character.unicode() < 0x20);
    }
    if (needsQuotes || result.startsWith(u' ') || result.endsWith(u' '))
        return kQuote + result + kQuote;
    return result;
}

// A value that starts and ends with a double quote and has no other unescaped one.
bool IsWholeQuoted(QStringView stored)
{
    if (stored.size() < 2 || stored.front() != kQuote || stored.back() != kQuote)
        return false;
    qsizetype index = 1;
    while (index < stored.size() - 1) {
        if (stored[index] == kQuote)
            return false;
        index += stored[index] == kBackslash ? 2 : 1;
    }
    return index == stored.size() - 1;
}

QString Quoted(const QString &text)
{
    // A quoted value starting with "@@" loses one "@", as in earlier files.
    const QString marked = text.startsWith(u"@@") ? u'@' + text : text;
    QString result(kQuote);
    bool escapeNextHexDigit = false;
    for (qsizetype index = 0; index < marked.size(); ++index) {
        const QChar character = marked[index];
        AppendEscaped(result, character, escapeNextHexDigit,
                      IsControl(character.unicode()) || IsLoneSurrogate(marked, index));
    }
    return result + kQuote;
}

bool ReadsBackPlainly(const QString &text)
{
    if (!text.isEmpty() && (IsIniBlank(text.front()) || IsIniBlank(text.back())))
        return false;
    for (qsizetype index = 0; index < text.size(); ++index) {
        const char16_t code = text[index].unicode();
        if ((IsControl(code) && code != u'\t') || IsLoneSurrogate(text, index))
            return false;
    }
    return IniValueText(text) == text;
}

} // namespace

QString IniValueText(QStringView stored)
{
    if (IsWholeQuoted(stored)) {
        const QString text = Unescaped(stored.sliced(1, stored.size() - 2));
        return text.startsWith(u"@@") ? text.sliced(1) : text;
    }
    if (stored.contains(kBackslash) || stored.startsWith(u"@@")) {
        QString text = Unescaped(stored);
        if (text.startsWith(u'@'))
            text.remove(0, 1);
        if (EarlierNotation(text) == stored)
            return text;
    }
    return stored.toString();
}

QString IniValueNotation(const QString &text)
{
    return ReadsBackPlainly(text) ? text : Quoted(text);
}
