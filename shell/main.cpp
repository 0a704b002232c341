#include "BusyPointer.h"
#include "CommandLine.h"
#include "CorvaneApp.h"
#include "DescriptorDevice.h"
#include "DesktopTextEditor.h"
#include "EventPrograms.h"
#include "FreedesktopNotifications.h"
#include "HeadlessFallback.h"
#include "HeadlessStartLine.h"
#include "HistoryReport.h"
#include "HistoryStore.h"
#include "IcmpEchoFacility.h"
#include "IniSettingsStore.h"
#include "Journal.h"
#include "JournalMirror.h"
#include "KernelOwnLink.h"
#include "LocalTextFiles.h"
#include "LogindSleepSignal.h"
#include "NoTray.h"
#include "NotifySocket.h"
#include "Pause.h"
#include "PortDevice.h"
#include "PowerCycle.h"
#include "QtMessageBoxes.h"
#include "QtSerialPort.h"
#include "QtTray.h"
#include "ServiceNotifier.h"
#include "SettingsCheck.h"
#include "SingleInstance.h"
#include "StopLatch.h"
#include "SystemClock.h"
#include "TerminationSignals.h"
#include "XdgAutostart.h"

#include <QApplication>
#include <QDir>
#include <QSessionManager>
#include <QStandardPaths>
#include <QTextStream>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>

#include <memory>
#include <optional>
#include <systemd/sd-daemon.h>
#include <unistd.h>

namespace {

// Not 0, so that a service manager sees that this copy did not run.
constexpr int kAnotherCopyExitStatus = 3;

QString DefaultLogPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Corvane/log.txt");
}

void WriteTo(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

// Before anything else, and before any display is asked for: help, the version and a
// refused command line need neither, and leave no lock, settings or log.
CommandLine ReadArguments(int argc, char *argv[])
{
    QStringList arguments;
    for (int index = 0; index < argc; ++index)
        arguments << QString::fromLocal8Bit(argv[index]);
    return ReadCommandLine(arguments);
}

// The exit status when the command line is answered without a watch: printed help or
// version, or a refusal.
std::optional<int> AnswerWithoutWatching(const CommandLine &commandLine)
{
    if (commandLine.action == CommandLineAction::Print) {
        WriteTo(stdout, commandLine.text);
        return 0;
    }
    if (commandLine.action == CommandLineAction::Refuse) {
        WriteTo(stderr, commandLine.text);
        return kUsageExitStatus;
    }
    return std::nullopt;
}

// The report only reads the store: no display, no lock, no settings, no log. Output
// that cannot be written ends it with status 1: a full disk says so, a reader that
// has gone (| head) needs no word.
int PrintHistory(char *argv[], const CommandLineOptions &options)
{
    int reportArgumentCount = 1;
    QCoreApplication report(reportArgumentCount, argv);
    SystemClock clock;
    DescriptorDevice standardOutput(STDOUT_FILENO);
    QTextStream out(&standardOutput);
    QTextStream err(stderr);
    const int status = PrintHistoryReport(HistoryStorePath(options.configFolder), options.sinceText,
                                          options.format, out, err, clock);
    out.flush();
    if (standardOutput.failure() == 0)
        return status;
    if (!standardOutput.readerGone())
        err << "corvane: the report cannot be written: " << standardOutput.errorString() << '\n';
    return 1;
}

QString SettingsFolder(const CommandLineOptions &options)
{
    return options.configFolder.isEmpty()
               ? QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
               : options.configFolder;
}

// Reads the settings as a watch would, without one: no display, no lock, no log.
int CheckTheSettings(char *argv[], const CommandLineOptions &options)
{
    int checkArgumentCount = 1;
    QCoreApplication check(checkArgumentCount, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Corvane"));
    const QString folder = SettingsFolder(options);
    IniSettingsStore store(folder);
    IcmpEchoFacility echo(IcmpEchoFacility::SocketChoice::DatagramFirst, nullptr);
    QTextStream out(stdout);
    return CheckSettings({store, store.filePath(SettingsAppName), echo, DefaultLogPath(),
                          HistoryStorePath(options.configFolder), !options.instance.isEmpty()},
                         out);
}

// The message boxes and the tray of a desktop, or their stand-ins without one.
struct DesktopSide
{
    std::unique_ptr<MessageBoxes> boxes;
    // The boxes' parent window is set once the window exists; none when headless.
    QtMessageBoxes *desktopBoxes = nullptr;
    std::unique_ptr<Tray> tray;
    // None when headless: a service's user is not at a desktop.
    std::unique_ptr<DesktopNotifications> notifications;
};

DesktopSide ChooseDesktopSide(bool headless)
{
    DesktopSide side;
    if (headless) {
        side.boxes = std::make_unique<HeadlessMessageBoxes>();
        side.tray = std::make_unique<NoTray>();
        return side;
    }
    auto qtBoxes = std::make_unique<QtMessageBoxes>();
    side.desktopBoxes = qtBoxes.get();
    side.boxes = std::move(qtBoxes);
    side.tray = std::make_unique<QtTray>();
    side.notifications = std::make_unique<FreedesktopNotifications>();
    return side;
}

// A desktop session that ends, and a stop signal, close without the question but with
// the stop line in the log.
void CloseOnStopRequests(QApplication &application, TerminationSignals &signals, StopLatch &stop,
                         CorvaneApp &corvane)
{
    QObject::connect(&signals, &TerminationSignals::received,
                     [&corvane] { corvane.window().CloseForSessionEnd(); });
    QObject::connect(&application, &QGuiApplication::commitDataRequest,
                     [&stop, &corvane](QSessionManager &) {
                         stop.raise();
                         corvane.window().CloseForSessionEnd();
                     });
}

// The real services the watch runs on. Each is made once and outlives the watch.
class RealServices
{
public:
    RealServices(const CommandLineOptions &options, const QString &settingsFolder, bool headless,
                 const DesktopSide &desktop)
        : settingsStore(settingsFolder), historyPath(HistoryStorePath(options.configFolder)),
          m_desktop(desktop)
    {
        // Starts this same copy at login: the same program, with the same settings folder.
        if (!headless) {
            QStringList command{QCoreApplication::applicationFilePath()};
            if (!options.configFolder.isEmpty())
                command << QStringLiteral("--config-dir") << QDir(settingsFolder).absolutePath();
            loginStart.emplace(
                QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation), command);
        }
    }

    PlatformServices services()
    {
        PlatformServices services{
            echo,
            serialPort,
            settingsStore,
            textFiles,
            textEditor,
            *m_desktop.boxes,
            *m_desktop.tray,
            clock,
            pause,
            busyPointer,
            sleepSignal,
            m_desktop.notifications.get(),
            [this](LogWriter &log) {
                return std::make_unique<HistoryStore>(historyPath, clock, log, *m_desktop.boxes);
            },
            [this](const Options &options, LogWriter &log) {
                auto programs = std::make_unique<EventPrograms>(options, log, clock);
                // A program runs only when the file that names it is safe too.
                programs->setSettingsFile(settingsFile());
                return programs;
            }};
        services.ownLink = &ownLink;
        services.makePowerCycle = [this](const Options &options, LogWriter &log,
                                         std::function<std::pair<SerialPort *, int>()> console) {
            PowerPorts ports{std::move(console), [this] {
                                 return std::make_unique<QtSerialPort>([this](int portNumber) {
                                     return PortDevicePath(settingsStore, portNumber);
                                 });
                             }};
            auto power = std::make_unique<PowerCycle>(options, log, clock, std::move(ports));
            // A program runs only when the file that names it is safe too.
            power->setSettingsFile(settingsFile());
            return power;
        };
        return services;
    }

    QString settingsFile() const { return settingsStore.filePath(SettingsAppName); }

    IniSettingsStore settingsStore;
    const QString historyPath;
    QtSerialPort serialPort{
        [this](int portNumber) { return PortDevicePath(settingsStore, portNumber); }};
    // Raised by a stop signal or the session's end: every wait under way ends at
    // once, and nothing new begins.
    StopLatch stop;
    IcmpEchoFacility echo{IcmpEchoFacility::SocketChoice::DatagramFirst, &stop};
    LocalTextFiles textFiles;
    DesktopTextEditor textEditor;
    SystemClock clock;
    ThreadPause pause{&stop};
    QtBusyPointer busyPointer;
    LogindSleepSignal sleepSignal;
    KernelOwnLink ownLink;
    // None when headless: nobody sees the Options window offer it.
    std::optional<XdgAutostart> loginStart;
    // Under a service's journal: built before the watch and ended after it, so that
    // the stop line goes out while it stands.
    std::optional<JournalMirror> journal;

private:
    const DesktopSide &m_desktop;
};

// How this run goes, from the command line and whether there is a desktop.
RunSettings SettingsOfThisRun(const CommandLineOptions &options, bool headless, RealServices &real)
{
    RunSettings run;
    run.headless = headless;
    run.logOverride = options.logPath;
    run.loginStart = real.loginStart ? &*real.loginStart : nullptr;
    if (headless) {
        run.onFieldsLoaded = [&real](const WindowFields &fields) {
            const QString line = HeadlessStartLine(real.settingsFile(), real.historyPath, fields,
                                                   real.settingsStore);
            // Under a journal that stops reading, the start line waits its turn like
            // every other line rather than hold the start.
            if (real.journal)
                real.journal->send(JournalLine(line));
            else
                WriteTo(stderr, line + u'\n');
        };
    }
    // A service's journal tells the story of the watch, not only its start.
    // A stream that stops reading never holds the watch: lines that cannot go are dropped.
    if (StderrIsJournal()) {
        real.journal.emplace(STDERR_FILENO);
        run.mirrorLogEntries = [&journal = *real.journal](const QString &entry) {
            journal.send(JournalLine(entry));
        };
    }
    run.onEnded = [] { QCoreApplication::quit(); };
    return run;
}

// The real services wired to the watch, which then runs until the program ends.
int Watch(QApplication &application, const CommandLineOptions &options,
          const QString &settingsFolder, bool headless, const DesktopSide &desktop)
{
    RealServices real(options, settingsFolder, headless, desktop);
    CorvaneApp corvane(real.services(), DefaultLogPath());
    if (desktop.desktopBoxes)
        desktop.desktopBoxes->setWindow(&corvane.window());

    TerminationSignals signals(&real.stop);
    CloseOnStopRequests(application, signals, real.stop, corvane);

    // Under a service manager: readiness, the watchdog and a line of state. Without
    // its socket there is nobody to tell.
    std::optional<NotifySocket> notifySocket;
    std::optional<ServiceNotifier> serviceNotifier;
    if (qEnvironmentVariableIsSet("NOTIFY_SOCKET")) {
        notifySocket.emplace(qgetenv("NOTIFY_SOCKET"));
        std::uint64_t watchdogUs = 0;
        if (sd_watchdog_enabled(0, &watchdogUs) <= 0)
            watchdogUs = 0;
        serviceNotifier.emplace(
            real.clock, [&notifySocket](const QByteArray &state) { notifySocket->send(state); },
            std::chrono::microseconds(watchdogUs), [&real] { return real.stop.wakes(); });
        corvane.events().listen(*serviceNotifier);
    }

    // Nobody sees a cursor blink without a display, and every blink repaints the
    // window (two repaints a second, each reading the time-zone file).
    if (headless)
        QApplication::setCursorFlashTime(0);

    corvane.Start(SettingsOfThisRun(options, headless, real));
    return application.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    // First of all: a headless monitor whose stderr reader has gone (a pipe closed
    // by a logger that ended) would otherwise die of its next line there, without
    // its stop line. A failed write to stderr is then only a line nobody reads.
    std::signal(SIGPIPE, SIG_IGN);

    const CommandLine commandLine = MakeConfigFolder(ReadArguments(argc, argv));
    if (const std::optional<int> status = AnswerWithoutWatching(commandLine))
        return *status;
    const CommandLineOptions &options = commandLine.options;
    // Before anything looks up a default folder: the log, the history and the settings
    // are then where the system service keeps them.
    EnterInstanceFolders(options);
    if (options.history)
        return PrintHistory(argv, options);
    if (options.check)
        return CheckTheSettings(argv, options);

    // Without a display, or with one that does not answer, Corvane still watches
    // the line, as a headless monitor.
    HeadlessFallback fallback(options.headless);
    // The arguments are all Corvane's own: Qt is given none of them, so that a value
    // such as "--log -reverse" cannot reach it as an option of its own.
    int qtArgumentCount = 1;
    QApplication application(qtArgumentCount, argv);
    const bool headless = fallback.runsHeadless();
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    // The window spends its life hidden in the tray; closing a message box must not
    // look like the last window closing.
    QApplication::setQuitOnLastWindowClosed(false);
    const DesktopSide desktop = ChooseDesktopSide(headless);

    const QString settingsFolder = SettingsFolder(options);
    SingleInstance instance(settingsFolder);
    if (!MayRunThisCopy(instance.tryAcquire(), *desktop.boxes))
        return kAnotherCopyExitStatus;

    return Watch(application, options, settingsFolder, headless, desktop);
}
