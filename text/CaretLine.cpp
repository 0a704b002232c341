#include "CaretLine.h"

#include <QList>

namespace {

constexpr char16_t kDelete = 0x7F;
constexpr char16_t kCaretOffset = 64;

bool IsLineEnd(char32_t code)
{
    return code == u'\r' || code == u'\n';
}

// Qt counts line and paragraph separators as printable, but a viewer may break the
// line at them.
bool Prints(char32_t character)
{
    return QChar::isPrint(character) && QChar::category(character) != QChar::Separator_Line &&
           QChar::category(character) != QChar::Separator_Paragraph;
}

} // namespace

QString CaretLine(QStringView text, QStringView lineBreak)
{
    QString line;
    line.reserve(text.size());
    bool lineBroken = false;
    // By whole code points, so that a character beyond the basic plane stays itself.
    for (const char32_t code : text.toUcs4()) {
        if (!lineBreak.isEmpty() && IsLineEnd(code)) {
            // A CR LF pair, and the blank lines between two outputs, are one break.
            lineBroken = true;
            continue;
        }
        if (lineBroken && !line.isEmpty())
            line += lineBreak;
        lineBroken = false;
        if (code == u'\t')
            line += u' ';
        else if (code < 0x20)
            line.append(u'^').append(QChar(char16_t(code + kCaretOffset)));
        else if (code == kDelete)
            line += u"^?";
        else if (!Prints(code))
            line += u'?';
        else
            line += QString::fromUcs4(&code, 1);
    }
    return line;
}
