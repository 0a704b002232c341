#include "ConsoleMatch.h"

namespace {

bool IsLineEnd(QChar character)
{
    return character == u'\r' || character == u'\n';
}

// C0, DEL and C1: a terminal acts on them, and the journal shows an entry that holds
// one as binary data instead of its text.
bool IsControl(QChar character)
{
    const char16_t code = character.unicode();
    return code < 0x20 || (code >= 0x7f && code <= 0x9f);
}

QString LineAround(const QString &text, qsizetype start, qsizetype end)
{
    while (start > 0 && !IsLineEnd(text.at(start - 1)))
        --start;
    while (end < text.size() && !IsLineEnd(text.at(end)))
        ++end;
    // The line goes to the log file, the journal and a notification: as text, with
    // what the router sent between its words (a NUL, an escape) seen as a blank.
    QString line = text.mid(start, end - start);
    for (QChar &character : line) {
        if (IsControl(character))
            character = u' ';
    }
    return line;
}

} // namespace

QString ConsoleText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes);
}

std::optional<QString> MatchedLine(const QRegularExpression &pattern, const QString &text)
{
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    return LineAround(text, match.capturedStart(), match.capturedEnd());
}

QStringList MatchedLines(const QRegularExpression &pattern, const QString &text)
{
    QStringList lines;
    qsizetype lastLineEnd = -1;
    QRegularExpressionMatchIterator matches = pattern.globalMatch(text);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        // Several matches on one line show that line once.
        if (match.capturedStart() < lastLineEnd)
            continue;
        lines.append(LineAround(text, match.capturedStart(), match.capturedEnd()));
        lastLineEnd = match.capturedEnd();
        while (lastLineEnd < text.size() && !IsLineEnd(text.at(lastLineEnd)))
            ++lastLineEnd;
    }
    return lines;
}

QString LogExcerpt(const QString &text, qsizetype count)
{
    const QString tail = text.right(count);
    QString excerpt;
    excerpt.reserve(tail.size());
    for (qsizetype index = 0; index < tail.size(); ++index) {
        const QChar character = tail.at(index);
        if (character == u'\r' && index + 1 < tail.size() && tail.at(index + 1) == u'\n')
            continue;
        if (IsLineEnd(character))
            excerpt += QStringLiteral("\r\n");
        else
            excerpt += IsControl(character) ? u' ' : character;
    }
    while (excerpt.startsWith(QStringLiteral("\r\n")))
        excerpt.remove(0, 2);
    while (excerpt.endsWith(QStringLiteral("\r\n")))
        excerpt.chop(2);
    return excerpt;
}
