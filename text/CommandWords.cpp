#include "CommandWords.h"

namespace {

bool IsBlank(QChar character)
{
    return character == u' ' || character == u'\t' || character == u'\n' || character == u'\r';
}

// Unquoted, these would mean something to a shell that is not there.
bool IsShellOnly(QChar character)
{
    return QStringView(u"|&;<>()$`*?[#~").contains(character);
}

// Inside double quotes a backslash escapes only these.
bool IsEscapedInDoubleQuotes(QChar character)
{
    return QStringView(u"\"\\$`").contains(character);
}

CommandWords Refused(const QString &reason)
{
    return {{}, reason};
}

} // namespace

CommandWords SplitCommandWords(const QString &text)
{
    CommandWords result;
    QString word;
    bool inWord = false;
    for (qsizetype position = 0; position < text.size(); ++position) {
        const QChar character = text[position];
        if (IsBlank(character)) {
            if (inWord)
                result.words.append(std::exchange(word, QString()));
            inWord = false;
            continue;
        }
        inWord = true;
        if (character == u'\\') {
            if (++position == text.size())
                return Refused(QStringLiteral("The text ends in a backslash."));
            word += text[position];
        } else if (character == u'\'') {
            const qsizetype end = text.indexOf(u'\'', position + 1);
            if (end < 0)
                return Refused(QStringLiteral("A single quote is not closed."));
            word += QStringView(text).sliced(position + 1, end - position - 1);
            position = end;
        } else if (character == u'"') {
            for (++position;; ++position) {
                if (position == text.size())
                    return Refused(QStringLiteral("A double quote is not closed."));
                const QChar inside = text[position];
                if (inside == u'"')
                    break;
                if (inside == u'$' || inside == u'`')
                    return Refused(QStringLiteral("No shell runs the program, so %1 inside "
                                                  "double quotes cannot be expanded; write "
                                                  "\\%1 for the character itself.")
                                       .arg(inside));
                if (inside == u'\\' && position + 1 < text.size() &&
                    IsEscapedInDoubleQuotes(text[position + 1]))
                    ++position;
                word += text[position];
            }
        } else if (IsShellOnly(character)) {
            return Refused(QStringLiteral("No shell runs the program, so %1 means nothing "
                                          "here; quote it, or name a script that does what the "
                                          "shell would.")
                               .arg(character));
        } else {
            word += character;
        }
    }
    if (inWord)
        result.words.append(word);
    return result;
}
