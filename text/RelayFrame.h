#pragma once

#include <QByteArray>
#include <QString>

// A relay board's frame as the settings write it, and the exact bytes it stands for.
struct RelayFrame
{
    QByteArray bytes;
    // Why the text stands for no frame, naming the character at fault; empty when it
    // does. A refused text gives no bytes at all: half a frame could switch the wrong
    // relay.
    QString refusal;
};

// Reads a frame written in caret notation, as the console's commands are, with "\xHH"
// for any byte (two hex digits, either case), "\\" for a backslash and "^^" for a
// caret. "^" and a character stand for that character's upper-case code minus 64 ("^@"
// is 0, "^[" is 27). Nothing is added: no carriage return ends a frame. Every other
// character must be ASCII, and stands for its code; a byte beyond it is written
// "\xHH", so that no code page decides what reaches the board.
RelayFrame ParseRelayFrame(const QString &text);

// The text that ParseRelayFrame reads back as bytes: printable ASCII as itself, a caret
// and a backslash doubled, every other byte as "\xHH".
QString RelayFrameText(const QByteArray &bytes);
