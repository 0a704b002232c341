#pragma once

#include <QString>
#include <QStringView>

// How a settings value is written after "key=" in the settings file.
//
// A value is normally the text itself, so that users can write any command or path by
// hand without learning a quoting rule. Only a value written as one double-quoted
// string carries backslash escapes; it is how texts that would not read back plainly
// (surrounding blanks, line breaks, text that looks quoted) are kept exact.
//
// Files written by earlier versions escaped backslashes and control characters without
// quotes ("c:\\log.txt") and doubled a leading "@". Such a value reads as the text it
// was written for when it is exactly that earlier form of some text; anything else,
// such as a hand-written "AT^\", reads as itself.

// A blank, as the settings file knows it: around a value, a key or a section name.
inline bool IsIniBlank(QChar character)
{
    return character == u' ' || character == u'\t';
}

// The text that a value as it stands in the file (blanks around it removed) stands for.
QString IniValueText(QStringView stored);

// How to write a text so that IniValueText gives it back exactly: the text itself when
// that reads back unchanged, otherwise a double-quoted string with escapes.
QString IniValueNotation(const QString &text);
