#pragma once

#include <QString>
#include <QStringList>

// An event program as it would be started now: its path and arguments, or why it may
// not run (a sentence part without its full stop).
struct ProgramToRun
{
    QString program;
    QStringList arguments;
    QString refusal;
};

// Splits the command line into words, finds the program (on the PATH when its name
// has no slash) and checks that it and the settings file it was named in may be
// trusted.
ProgramToRun FindProgram(const QString &commandLine, const QString &settingsFile);
