#include "CommandLine.h"

#include "SinceText.h"
#include "Version.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Takes an option's value into the options, or says why the value is refused. A
// switch, which has no value, is handed an empty text.
using TakeOption = std::optional<QString> (*)(const QString &value, CommandLineOptions &options);

struct OptionRow
{
    const char *name;
    // Empty for a switch.
    const char *valueName;
    const char *description;
    TakeOption take;
};

enum class Kind
{
    Missing,
    Folder,
    RegularFile,
    Other,
};

// What a path names, through symbolic links.
Kind KindOf(const QString &path)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return Kind::Missing;
    if (S_ISDIR(status.st_mode))
        return Kind::Folder;
    return S_ISREG(status.st_mode) ? Kind::RegularFile : Kind::Other;
}

bool MayUse(const QString &path, int mode)
{
    return ::access(QFile::encodeName(path).constData(), mode) == 0;
}

QString Absolute(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// The settings are read and written and the lock made there: the folder must allow
// all three, or, when missing, the nearest folder above it must let it be made. A
// folder that cannot be used would only show later as a failed lock and "Registry"
// boxes that no service reader sees.
std::optional<QString> TakeConfigFolder(const QString &value, CommandLineOptions &options)
{
    if (value.isEmpty())
        return QStringLiteral("--config-dir needs a folder.");
    const QString folder = Absolute(value);
    QString existing = folder;
    while (KindOf(existing) == Kind::Missing)
        existing = QFileInfo(existing).path();
    if (KindOf(existing) != Kind::Folder)
        return QStringLiteral("--config-dir: %1 is not a folder.").arg(existing);
    if (existing == folder && !MayUse(folder, R_OK | W_OK | X_OK))
        return QStringLiteral("--config-dir: %1 cannot be read and written.").arg(folder);
    if (existing != folder && !MayUse(existing, W_OK | X_OK))
        return QStringLiteral("--config-dir: %1 cannot be made in %2.").arg(folder, existing);
    options.configFolder = folder;
    return std::nullopt;
}

// A log that cannot be written would turn every entry into a "Log File Error" box;
// on the command line the mistake is said at once instead. Unlike the default log's
// folder, a folder named here is not made.
std::optional<QString> TakeLogPath(const QString &value, CommandLineOptions &options)
{
    if (value.isEmpty())
        return QStringLiteral("--log needs a file.");
    const QString path = Absolute(value);
    const QString folder = QFileInfo(path).path();
    switch (KindOf(path)) {
    case Kind::RegularFile:
        if (!MayUse(path, W_OK))
            return QStringLiteral("--log: %1 cannot be written.").arg(path);
        break;
    case Kind::Missing:
        if (KindOf(folder) != Kind::Folder)
            return QStringLiteral("--log: the folder %1 does not exist.").arg(folder);
        if (!MayUse(folder, W_OK | X_OK))
            return QStringLiteral("--log: %1 cannot be made in %2.").arg(path, folder);
        break;
    case Kind::Folder:
    case Kind::Other:
        return QStringLiteral("--log: %1 is not a regular file.").arg(path);
    }
    options.logPath = path;
    return std::nullopt;
}

// Every option of the program but help and version. Adding one takes a member of
// CommandLineOptions, a row here, and what main() does with the member.
const OptionRow kOptionRows[] = {
    {"headless", "",
     "Run without a window or tray icon, even when a display is there. Message boxes "
     "become lines on standard error.",
     [](const QString &, CommandLineOptions &options) -> std::optional<QString> {
         options.headless = true;
         return std::nullopt;
     }},
    {"config-dir", "DIR",
     "Read and write Vestrel.ini in DIR, made when missing, instead of $XDG_CONFIG_HOME. "
     "One copy runs per folder.",
     TakeConfigFolder},
    {"log", "FILE",
     "Write the event log to FILE for this run, in place of the log field's value, "
     "which stays as stored.",
     TakeLogPath},
    {"history", "",
     "Print the outages of the range (start, end, duration, fail commands sent, the "
     "router's response) and the availability, then exit. Works while a monitor runs.",
     [](const QString &, CommandLineOptions &options) -> std::optional<QString> {
         options.history = true;
         return std::nullopt;
     }},
    {"since", "LENGTH", "With --history: the range, such as 24h, 7d, 30d or 1y (default 30d).",
     [](const QString &value, CommandLineOptions &options) -> std::optional<QString> {
         QString error;
         if (!ParseSinceText(value, error))
             return error;
         options.sinceText = value;
         return std::nullopt;
     }},
    {"csv", "", "With --history: print CSV.",
     [](const QString &, CommandLineOptions &options) -> std::optional<QString> {
         options.csv = true;
         return std::nullopt;
     }},
    {"check", "",
     "Check the settings (of --config-dir DIR, if given) without watching: one line per "
     "item, ok or why not; exit 0 when all are usable, 1 otherwise. Works while a "
     "monitor runs.",
     [](const QString &, CommandLineOptions &options) -> std::optional<QString> {
         options.check = true;
         return std::nullopt;
     }},
};

QString Usage(const QCommandLineParser &parser, const QString &programName)
{
    // Without an application object Qt cannot name the program in its usage line.
    const QString options = parser.helpText().section(u'\n', 1);
    return QStringLiteral("Usage: %1 [options]\n").arg(programName) + options;
}

// The reason quotes what was typed, which may hold a line break; it stays one line.
CommandLine Refuse(QString reason, const QString &usage)
{
    reason.replace(u'\n', QStringLiteral("\\n")).replace(u'\r', QStringLiteral("\\r"));
    return {CommandLineAction::Refuse, QStringLiteral("corvane: %1\n%2").arg(reason, usage), {}};
}

} // namespace

QString VersionLine()
{
    const QString revision = QStringLiteral(CORVANE_REVISION);
    QString line = QStringLiteral("corvane " CORVANE_VERSION);
    if (!revision.isEmpty())
        line += QStringLiteral(" (git %1)").arg(revision);
    return line;
}

CommandLine ReadCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    // "-headless" reads as "--headless", not as -h -e -a ...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Pings a primary and a secondary address and, when neither answers, writes the\n"
        "fail command to the router's serial console. See corvane(1)."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version and exit."));
    // A desktop session that restores its programs starts them again with Qt's
    // "-session ID". Corvane keeps no session state: the option is taken and ignored.
    QCommandLineOption session(QStringLiteral("session"), QString(), QStringLiteral("ID"));
    session.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(session);
    for (const OptionRow &row : kOptionRows)
        parser.addOption(QCommandLineOption(QString::fromLatin1(row.name),
                                            QString::fromUtf8(row.description),
                                            QString::fromLatin1(row.valueName)));

    const QString programName =
        arguments.isEmpty() ? QStringLiteral("corvane") : QFileInfo(arguments.first()).fileName();
    const QString usage = Usage(parser, programName);
    if (!parser.parse(arguments))
        return Refuse(parser.errorText(), usage);
    if (!parser.positionalArguments().isEmpty())
        return Refuse(QStringLiteral("Unexpected argument '%1'.")
                          .arg(parser.positionalArguments().constFirst()),
                      usage);
    if (parser.isSet(help))
        return {CommandLineAction::Print, usage, {}};
    if (parser.isSet(version))
        return {CommandLineAction::Print, VersionLine() + u'\n', {}};

    CommandLine commandLine;
    for (const OptionRow &row : kOptionRows) {
        const QString name = QString::fromLatin1(row.name);
        if (!parser.isSet(name))
            continue;
        if (const std::optional<QString> refusal =
                row.take(parser.value(name), commandLine.options))
            return Refuse(*refusal, usage);
    }
    const CommandLineOptions &options = commandLine.options;
    if (!options.history && (options.csv || !options.sinceText.isEmpty()))
        return Refuse(QStringLiteral("--since and --csv go with --history."), usage);
    if (options.check && (options.history || options.headless || !options.logPath.isEmpty()))
        return Refuse(QStringLiteral("--check goes with --config-dir only."), usage);
    return commandLine;
}
