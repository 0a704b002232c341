#include "CommandLine.h"

#include "SinceText.h"
#include "Version.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <climits>
#include <cstring>
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
    // The system refuses the name itself: too long, a loop of links, no right to
    // look there.
    Refused,
};

// What a path names, through symbolic links; errno for Refused. A path under a
// regular file counts as missing, so that the file is named as the cause.
Kind KindOf(const QString &path, int *error = nullptr)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return Kind::Missing;
        if (error)
            *error = errno;
        return Kind::Refused;
    }
    if (S_ISDIR(status.st_mode))
        return Kind::Folder;
    return S_ISREG(status.st_mode) ? Kind::RegularFile : Kind::Other;
}

QString SystemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The names still to be made under an existing folder must each fit the file system,
// and the whole path the system's limit; the system would otherwise refuse them only
// when they are made.
std::optional<QString> NameTooLong(const QString &path, const QString &existing)
{
    if (QFile::encodeName(path).size() >= PATH_MAX)
        return QStringLiteral("%1: %2.").arg(path, SystemReason(ENAMETOOLONG));
    const long nameMax = ::pathconf(QFile::encodeName(existing).constData(), _PC_NAME_MAX);
    const QStringList names = path.mid(existing.size()).split(u'/', Qt::SkipEmptyParts);
    for (const QString &name : names) {
        if (QFile::encodeName(name).size() > (nameMax > 0 ? nameMax : NAME_MAX))
            return QStringLiteral("%1: %2.").arg(path, SystemReason(ENAMETOOLONG));
    }
    return std::nullopt;
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
// boxes that no service reader sees. option names the option in the refusals.
std::optional<QString> TakeSettingsFolder(const QString &option, const QString &value,
                                          CommandLineOptions &options)
{
    const QString folder = Absolute(value);
    QString existing = folder;
    Kind kind = Kind::Missing;
    int error = 0;
    while ((kind = KindOf(existing, &error)) == Kind::Missing)
        existing = QFileInfo(existing).path();
    if (kind == Kind::Refused)
        return QStringLiteral("%1: %2: %3.").arg(option, existing, SystemReason(error));
    if (kind != Kind::Folder)
        return QStringLiteral("%1: %2 is not a folder.").arg(option, existing);
    // The report and the check only read, and a missing folder holds default
    // settings: a service's settings folder under /etc may be read-only to whoever
    // asks, or not made before the service's first start.
    if (options.history || options.check) {
        options.configFolder = folder;
        return std::nullopt;
    }
    if (existing == folder && !MayUse(folder, R_OK | W_OK | X_OK))
        return QStringLiteral("%1: %2 cannot be read and written.").arg(option, folder);
    if (existing != folder && !MayUse(existing, W_OK | X_OK))
        return QStringLiteral("%1: %2 cannot be made in %3.").arg(option, folder, existing);
    if (const std::optional<QString> tooLong = NameTooLong(folder, existing))
        return QStringLiteral("%1: ").arg(option) + *tooLong;
    options.configFolder = folder;
    return std::nullopt;
}

std::optional<QString> TakeConfigFolder(const QString &value, CommandLineOptions &options)
{
    if (value.isEmpty())
        return QStringLiteral("--config-dir needs a folder.");
    return TakeSettingsFolder(QStringLiteral("--config-dir"), value, options);
}

// An instance name the service's folders are named after: letters, digits and ":_.-",
// never "." or "..", which would name another folder, and no longer than a file name.
// systemd's escapes ("\x20") are refused: the unit's command line and environment
// would turn them back into the characters they stand for, and name another instance.
std::optional<QString> TakeInstance(const QString &value, CommandLineOptions &options)
{
    static const QRegularExpression kInstanceName(QStringLiteral("^[A-Za-z0-9:_.-]+$"));
    if (value.isEmpty())
        return QStringLiteral("--instance needs the name of a corvane@ service.");
    if (!kInstanceName.match(value).hasMatch() || value == QStringLiteral(".") ||
        value == QStringLiteral("..") || value.size() > NAME_MAX)
        return QStringLiteral("--instance: '%1' is no name of a corvane@ service.").arg(value);
    options.instance = value;
    return TakeSettingsFolder(QStringLiteral("--instance"), FoldersOfInstance(value).settings,
                              options);
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
    int error = 0;
    switch (KindOf(path, &error)) {
    case Kind::RegularFile:
        if (!MayUse(path, W_OK))
            return QStringLiteral("--log: %1 cannot be written.").arg(path);
        break;
    case Kind::Missing:
        if (KindOf(folder) != Kind::Folder)
            return QStringLiteral("--log: the folder %1 does not exist.").arg(folder);
        if (!MayUse(folder, W_OK | X_OK))
            return QStringLiteral("--log: %1 cannot be made in %2.").arg(path, folder);
        if (const std::optional<QString> tooLong = NameTooLong(path, folder))
            return QStringLiteral("--log: ") + *tooLong;
        break;
    case Kind::Refused:
        return QStringLiteral("--log: %1: %2.").arg(path, SystemReason(error));
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
    {"instance", "NAME",
     "Stand for the system service corvane@NAME: its settings in /etc/corvane/NAME, its "
     "log and history under /var/lib/corvane/NAME, as the service has them. With --check "
     "and --history, read what that service uses.",
     TakeInstance},
    {"log", "FILE",
     "Write the event log to FILE for this run, in place of the log field's value, "
     "which stays as stored.",
     TakeLogPath},
    {"history", "",
     "Print the outages of the range (start, end, duration, fail commands sent, the "
     "router's response) and the availability, then exit. Works while a monitor runs. "
     "Goes with neither --headless nor --log.",
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
    {"csv", "", "With --history: print the outages as one CSV table.",
     [](const QString &, CommandLineOptions &options) -> std::optional<QString> {
         options.format = ReportFormat::Csv;
         return std::nullopt;
     }},
    {"json", "", "With --history: print one JSON document.",
     [](const QString &, CommandLineOptions &options) -> std::optional<QString> {
         options.format = ReportFormat::Json;
         return std::nullopt;
     }},
    {"check", "",
     "Check the settings (of --config-dir DIR or --instance NAME, if given) without watching: one "
     "line per "
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
    return {
        CommandLineAction::Refuse, QStringLiteral("corvane: %1\n%2").arg(reason, usage), {}, usage};
}

// Options that the run would take in the wrong sense, or that say two things at once.
std::optional<QString> Conflict(const QCommandLineParser &parser, const CommandLineOptions &options)
{
    const QStringList given = parser.optionNames();
    for (const OptionRow &row : kOptionRows) {
        const QString name = QString::fromLatin1(row.name);
        if (given.count(name) > 1)
            return QStringLiteral("--%1 is given more than once.").arg(name);
    }
    if (options.history) {
        for (const char *watching : {"headless", "log"}) {
            if (parser.isSet(QString::fromLatin1(watching)))
                return QStringLiteral("--%1 does not go with --history.")
                    .arg(QString::fromLatin1(watching));
        }
    } else if (parser.isSet(QStringLiteral("since")) || parser.isSet(QStringLiteral("csv")) ||
               parser.isSet(QStringLiteral("json"))) {
        return QStringLiteral("--since, --csv and --json go with --history.");
    }
    if (parser.isSet(QStringLiteral("csv")) && parser.isSet(QStringLiteral("json")))
        return QStringLiteral("--csv and --json exclude each other.");
    if (parser.isSet(QStringLiteral("instance")) && parser.isSet(QStringLiteral("config-dir")))
        return QStringLiteral("--instance names the settings folder: it does not go with "
                              "--config-dir.");
    return std::nullopt;
}

// Makes the missing folders of path, parents first; errno when one cannot be made,
// after removing those it made.
int MakeFolders(const QString &path)
{
    QStringList made;
    QString folder;
    for (const QString &name : path.split(u'/', Qt::SkipEmptyParts)) {
        folder += u'/' + name;
        if (::mkdir(QFile::encodeName(folder).constData(), 0777) == 0) {
            made.prepend(folder);
            continue;
        }
        const int error = errno;
        if (error == EEXIST && KindOf(folder) == Kind::Folder)
            continue;
        for (const QString &madeFolder : std::as_const(made))
            ::rmdir(QFile::encodeName(madeFolder).constData());
        return error == EEXIST ? ENOTDIR : error;
    }
    return 0;
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
        return {CommandLineAction::Print, usage, {}, usage};
    if (parser.isSet(version))
        return {CommandLineAction::Print, VersionLine() + u'\n', {}, usage};

    CommandLine commandLine;
    commandLine.options.history = parser.isSet(QStringLiteral("history"));
    commandLine.options.check = parser.isSet(QStringLiteral("check"));
    commandLine.usage = usage;
    for (const OptionRow &row : kOptionRows) {
        const QString name = QString::fromLatin1(row.name);
        if (!parser.isSet(name))
            continue;
        if (const std::optional<QString> refusal =
                row.take(parser.value(name), commandLine.options))
            return Refuse(*refusal, usage);
    }
    if (const std::optional<QString> conflict = Conflict(parser, commandLine.options))
        return Refuse(*conflict, usage);
    const CommandLineOptions &options = commandLine.options;
    if (options.check && (options.history || options.headless || !options.logPath.isEmpty()))
        return Refuse(QStringLiteral("--check goes with --config-dir or --instance only."), usage);
    return commandLine;
}

SystemInstanceFolders FoldersOfInstance(const QString &name)
{
    return {QStringLiteral("/etc/corvane/") + name, QStringLiteral("/var/lib/corvane/") + name};
}

void EnterInstanceFolders(const CommandLineOptions &options)
{
    if (options.instance.isEmpty())
        return;
    const SystemInstanceFolders folders = FoldersOfInstance(options.instance);
    const QByteArray state = QFile::encodeName(folders.state);
    qputenv("HOME", state);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folders.settings));
    qputenv("XDG_DATA_HOME", state);
}

CommandLine MakeConfigFolder(const CommandLine &commandLine)
{
    const CommandLineOptions &options = commandLine.options;
    // The report and the check only read: they make nothing.
    if (commandLine.action != CommandLineAction::Run || options.history || options.check ||
        options.configFolder.isEmpty())
        return commandLine;
    if (const int error = MakeFolders(options.configFolder))
        return Refuse(QStringLiteral("--config-dir: %1 cannot be made: %2.")
                          .arg(options.configFolder, SystemReason(error)),
                      commandLine.usage);
    return commandLine;
}
