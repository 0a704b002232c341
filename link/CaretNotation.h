#pragma once

#include <QList>
#include <QString>

// What follows a byte on the wire before the next one may go. A console reads
// slowly and acts on control characters (a carriage return runs a command), so
// those get a long gap; the closing carriage return needs none, nothing follows it.
enum class GapAfter
{
    Short,
    Long,
    None,
};

// One byte of a decoded command string, in the order it is written.
struct CommandByte
{
    char byte;
    GapAfter gap;
    // Empty when the character decoded cleanly; otherwise why it did not, for the
    // user. The byte is written all the same.
    QString failure;

    friend bool operator==(const CommandByte &, const CommandByte &) = default;
};

// Decodes a command string in caret notation into the bytes that go to the router,
// one byte per character in the Windows-1252 code page ("€" is 128, "’" is 146,
// U+00A0 to U+00FF keep their code), ending with a carriage return (added unless
// the last byte already is one; an empty command is a lone carriage return). A
// character the code page has no byte for is sent as "?".
//
// "^" followed by a character stands for that character's upper-case form minus
// 64 ("^m" and "^M" are 13, "^[" is 27, "^@" is 0, the grave accent gives a blank),
// "^^" for the caret itself, and a final "^" for itself. Characters above 127 are
// upper-cased only when their upper-case form is itself in Latin-1 ("^à" gives
// 128), so ÿ, µ and ß keep their own code; a character beyond Latin-1 after a
// caret is sent as its own byte. A pair that would fall below 0 sends the character
// after the caret unchanged and carries a failure.
QList<CommandByte> DecodeCommand(const QString &command);
