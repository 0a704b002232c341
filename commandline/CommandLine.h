#pragma once

#include "ReportFormat.h"

#include <QString>
#include <QStringList>

// What the command line asks of this run. An empty text leaves the stored or
// default choice in place.
struct CommandLineOptions
{
    bool headless = false;
    // The folder of Vestrel.ini and of the one-copy lock, made when missing; empty for
    // $XDG_CONFIG_HOME.
    QString configFolder;
    // The event log of this run, in place of the log field's stored value; never
    // stored.
    QString logPath;
    // Print the outage ledger and the availability, then end, instead of watching.
    bool history = false;
    // The --since text, checked already; empty for the report's default.
    QString sinceText;
    // --csv or --json, which exclude each other.
    ReportFormat format = ReportFormat::Text;
    // Check the settings, print one line per item, then end, instead of watching.
    bool check = false;
    // The system service instance this run stands for (--instance), empty for none:
    // its settings folder is configFolder, and its other folders are those of
    // SystemInstanceFolders.
    QString instance;
};

// The folders the system service corvane@NAME keeps: its settings folder, and the
// home under which its log and history lie. The unit names the same ones.
struct SystemInstanceFolders
{
    QString settings;
    QString state;
};
SystemInstanceFolders FoldersOfInstance(const QString &name);

// Makes this process see its folders as the system service of the options' instance
// sees them (home, settings and data folders), so that every part that finds a
// default path (the log, the history) finds the service's. Nothing without an
// instance. Call it before anything reads those paths.
void EnterInstanceFolders(const CommandLineOptions &options);

enum class CommandLineAction
{
    Run,
    // Help or the version: the text goes to standard output, and the program ends
    // with status 0.
    Print,
    // An unknown option or a bad value: the text (one line saying why, then the
    // usage) goes to standard error, and the program ends with kUsageExitStatus.
    Refuse,
};

struct CommandLine
{
    CommandLineAction action = CommandLineAction::Run;
    QString text;
    CommandLineOptions options;
    // What a refusal shows after its reason.
    QString usage;
};

constexpr int kUsageExitStatus = 2;

// "corvane 0.1.0", followed by the git revision the build was configured at, if any.
QString VersionLine();

// Reads the program's arguments, its name first. It looks at the folders and files
// named to judge them but changes nothing, so that a refused command line leaves no
// trace. Needs no application object.
CommandLine ReadCommandLine(const QStringList &arguments);

// The one step of reading the command line that changes something, taken only for a
// run that watches: makes the --config-dir folder when it is missing. The checks of
// ReadCommandLine cannot foresee every refusal of the system (a read-only or special
// file system, root's rights), and a monitor without its folder would run without
// its lock and on defaults. Returns the command line, refused when the folder cannot
// be made; nothing of what was made is left then.
CommandLine MakeConfigFolder(const CommandLine &commandLine);
