#pragma once

#include "FileDescriptor.h"

#include <QString>
#include <QStringList>

// An event program as it would be started now: its path, its arguments and the file
// that passed the checks, or why it may not run (a sentence part without its full
// stop).
struct ProgramToRun
{
    QString program;
    QStringList arguments;
    QString refusal;
    // The program as checked, open with O_PATH; run it through this and never by its
    // name, which may lead elsewhere by then.
    FileDescriptor file;
};

// Splits the command line into words, finds the program (on the PATH when its name
// has no slash) and checks that it and the settings file it was named in may be
// trusted.
ProgramToRun FindProgram(const QString &commandLine, const QString &settingsFile);
