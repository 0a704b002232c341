#pragma once

#include <QByteArray>
#include <QString>

// Whether standard error is the journal's stream: systemd then sets JOURNAL_STREAM to
// its device and inode. A stderr redirected elsewhere by hand keeps the variable but
// not the match, and stays as it is.
bool StderrIsJournal();

// A log entry as one journal line, led by its sd-daemon priority: <4> for warnings
// and failures, the fail command and a failed event program among them, <6> for the
// rest. Its lines are joined.
QByteArray JournalLine(const QString &message);
