#pragma once

#include <QString>
#include <QStringView>

// Text from outside (a settings file written by hand, a router's console) on one line
// that a log, a terminal or a journal shows as it is: control characters in caret
// notation ("^M^J" for a line end, "^[" for escape, "^@" for NUL, "^?" for delete), a
// tab as a blank, and any other character that prints nothing (C1 controls, format
// characters, line and paragraph separators) as "?". So no byte of it can end a log
// entry, forge the next one or steer the terminal it is shown on.
//
// With a lineBreak, each run of CR and LF becomes that text instead, once, and none
// is put before the first character; without, they are caret pairs like the rest.
QString CaretLine(QStringView text, QStringView lineBreak = {});
