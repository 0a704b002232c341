#include "ProgramLookup.h"

#include "CommandWords.h"
#include "ProgramOwnership.h"

#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>

ProgramToRun FindProgram(const QString &commandLine, const QString &settingsFile)
{
    CommandWords words = SplitCommandWords(commandLine);
    if (!words.refusal.isEmpty())
        return {{}, {}, words.refusal.chopped(1), {}};
    if (words.words.isEmpty())
        return {{}, {}, QStringLiteral("no program is named"), {}};
    const QString name = words.words.takeFirst();
    // A bare name is looked for on the PATH, as a shell would; a name with a slash is
    // taken as it is.
    const QString path = name.contains(u'/') ? name : QStandardPaths::findExecutable(name);
    const QFileInfo file(path);
    if (path.isEmpty() || !file.exists())
        return {{}, {}, QStringLiteral("no program \"%1\" was found").arg(name), {}};
    if (!file.isFile() || !file.isExecutable())
        return {{}, {}, QStringLiteral("%1 is not an executable file").arg(path), {}};
    if (const TrustedFile settings = OpenTrusted(settingsFile); !settings.refusal.isEmpty())
        return {{}, {}, settings.refusal, {}};
    TrustedFile program = OpenTrusted(path);
    if (!program.refusal.isEmpty())
        return {{}, {}, program.refusal, {}};
    // Checked again on what was opened: the name's answer above may be stale already.
    struct stat status = {};
    if (::fstat(program.file.get(), &status) != 0 ||
        (status.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) == 0)
        return {{}, {}, QStringLiteral("%1 is not an executable file").arg(path), {}};
    return {path, words.words, {}, std::move(program.file)};
}
