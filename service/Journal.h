#pragma once

#include <QByteArray>
#include <QString>

// Whether standard error is the journal's stream: systemd then sets JOURNAL_STREAM to
// its device and inode. A stderr redirected elsewhere by hand keeps the variable but
// not the match, and stays as it is.
bool StderrIsJournal();

// A log entry as one journal line, led by its sd-daemon priority: <4> for warnings
// and failures, the fail command and a failed event program among them, <6> for the
// rest, judged on its first line. It is one journal record whatever it holds: its
// lines are joined and its other control characters blanked, and a very long entry
// is cut short.
QByteArray JournalLine(const QString &message);
