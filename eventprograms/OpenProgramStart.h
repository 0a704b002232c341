#pragma once

#include "FileDescriptor.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

class QProcess;

// Starts process on the program open at program, never on a name, so that what runs is
// the very file that was checked however its folder changes meanwhile. The program
// sees path as its name (argv[0]) and gets environment. It starts in a process group
// of its own, so that a stop reaches whatever it starts in turn (a script's curl).
// Scripts with "#!" run too. The descriptor is closed once the child has its copy.
void StartOpenProgram(QProcess &process, FileDescriptor program, const QString &path,
                      const QStringList &arguments, const QProcessEnvironment &environment);
