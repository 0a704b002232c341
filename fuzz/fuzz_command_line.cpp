// The command line is typed by the user or written into a service's unit: any
// arguments must be read without harm and without leaving a trace, and each answer
// must have its form: a refusal is one line that says why and then the usage, help
// and the version are what they are, and the paths of a run are absolute and clean.
//
// Input: the arguments after the program's name, UTF-8, separated by NUL bytes.
#include "CommandLine.h"
#include "FuzzProperty.h"

#include <QDir>
#include <QTemporaryDir>

namespace {

const QString kUsageLine = QStringLiteral("Usage: corvane [options]\n");

bool AbsoluteAndClean(const QString &path)
{
    return path.isEmpty() || (QDir::isAbsolutePath(path) && QDir::cleanPath(path) == path);
}

bool SameAnswer(const CommandLine &first, const CommandLine &second)
{
    return first.action == second.action && first.text == second.text &&
           first.options.headless == second.options.headless &&
           first.options.configFolder == second.options.configFolder &&
           first.options.logPath == second.options.logPath;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Relative paths are judged in a folder of the target's own, which must stay empty.
    static QTemporaryDir folder;
    static const bool entered = folder.isValid() && QDir::setCurrent(folder.path());
    RequireProperty(entered, "the working folder is the target's own");

    QStringList arguments{QStringLiteral("corvane")};
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (!bytes.isEmpty()) {
        for (const QByteArray &argument : bytes.split('\0'))
            arguments << QString::fromUtf8(argument);
    }

    const CommandLine commandLine = ReadCommandLine(arguments);
    const QString &text = commandLine.text;
    switch (commandLine.action) {
    case CommandLineAction::Refuse:
        RequireProperty(text.startsWith(QStringLiteral("corvane: ")) &&
                            text.section(u'\n', 1).startsWith(kUsageLine),
                        "a refusal is one line that says why, then the usage");
        break;
    case CommandLineAction::Print:
        RequireProperty(text.startsWith(kUsageLine) || text == VersionLine() + u'\n',
                        "what is printed is the usage or the version");
        break;
    case CommandLineAction::Run:
        RequireProperty(text.isEmpty() && AbsoluteAndClean(commandLine.options.logPath) &&
                            AbsoluteAndClean(commandLine.options.configFolder),
                        "a run's paths are absolute and clean");
        break;
    }
    RequireProperty(
        QDir(folder.path())
            .isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
        "reading the command line leaves no trace");
    RequireProperty(SameAnswer(commandLine, ReadCommandLine(arguments)),
                    "the same arguments give the same answer");
    return 0;
}
