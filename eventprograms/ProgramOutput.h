#pragma once

#include <QByteArray>
#include <QString>

// The start of a program's output as the lines of its log entry. The bytes come from
// outside, like the router's, and go the same way into the log and the journal: line
// ends become the log's CR LF, a lone CR included; NUL, escape and every other
// control character a blank; bytes that are not UTF-8 the replacement character;
// blank lines at either end are dropped. So no output can end the entry's journal
// record early or start one of its own, at a priority of its own. cut adds a line
// saying that the rest was dropped.
QString ProgramOutputForLog(const QByteArray &output, bool cut);
