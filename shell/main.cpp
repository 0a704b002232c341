#include "BusyPointer.h"
#include "Clock.h"
#include "CommandLine.h"
#include "CorvaneApp.h"
#include "DesktopTextEditor.h"
#include "HeadlessFallback.h"
#include "HeadlessStartLine.h"
#include "HistoryReport.h"
#include "IcmpEchoFacility.h"
#include "IniSettingsStore.h"
#include "LocalTextFiles.h"
#include "NoTray.h"
#include "Pause.h"
#include "PortDevice.h"
#include "QtMessageBoxes.h"
#include "QtSerialPort.h"
#include "QtTray.h"
#include "SingleInstance.h"
#include "StopLatch.h"
#include "TerminationSignals.h"

#include <QApplication>
#include <QSessionManager>
#include <QStandardPaths>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <memory>

namespace {

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

} // namespace

int main(int argc, char *argv[])
{
    // First of all: a headless monitor whose stderr reader has gone (a pipe closed
    // by a logger that ended) would otherwise die of its next line there, without
    // its stop line. A failed write to stderr is then only a line nobody reads.
    std::signal(SIGPIPE, SIG_IGN);

    // Before anything else, and before any display is asked for: help, the version
    // and a refused command line need neither, and leave no lock, settings or log.
    QStringList arguments;
    for (int index = 0; index < argc; ++index)
        arguments << QString::fromLocal8Bit(argv[index]);
    const CommandLine commandLine = ReadCommandLine(arguments);
    if (commandLine.action == CommandLineAction::Print) {
        WriteTo(stdout, commandLine.text);
        return 0;
    }
    if (commandLine.action == CommandLineAction::Refuse) {
        WriteTo(stderr, commandLine.text);
        return kUsageExitStatus;
    }
    const CommandLineOptions &options = commandLine.options;
    // The report only reads the store: no display, no lock, no settings, no log.
    if (options.history) {
        int reportArgumentCount = 1;
        QCoreApplication report(reportArgumentCount, argv);
        SystemClock clock;
        QTextStream out(stdout);
        QTextStream err(stderr);
        return PrintHistoryReport(DefaultHistoryStorePath(), options.sinceText, options.csv, out,
                                  err, clock);
    }

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

    std::unique_ptr<MessageBoxes> boxes;
    QtMessageBoxes *desktopBoxes = nullptr;
    std::unique_ptr<Tray> tray;
    if (headless) {
        boxes = std::make_unique<HeadlessMessageBoxes>();
        tray = std::make_unique<NoTray>();
    } else {
        auto qtBoxes = std::make_unique<QtMessageBoxes>();
        desktopBoxes = qtBoxes.get();
        boxes = std::move(qtBoxes);
        tray = std::make_unique<QtTray>();
    }

    const QString settingsFolder =
        options.configFolder.isEmpty()
            ? QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
            : options.configFolder;
    SingleInstance instance(settingsFolder);
    if (!MayRunThisCopy(instance.tryAcquire(), *boxes))
        return 0;

    IniSettingsStore settingsStore(settingsFolder);
    QtSerialPort serialPort(
        [&settingsStore](int portNumber) { return PortDevicePath(settingsStore, portNumber); });
    // Raised by a stop signal or the session's end: every wait under way ends at
    // once, and nothing new begins.
    StopLatch stop;
    IcmpEchoFacility echo(IcmpEchoFacility::SocketChoice::DatagramFirst, &stop);
    LocalTextFiles textFiles;
    DesktopTextEditor textEditor;
    SystemClock clock;
    ThreadPause pause(&stop);
    QtBusyPointer busyPointer;

    CorvaneApp corvane({echo, serialPort, settingsStore, textFiles, textEditor, *boxes, *tray,
                        clock, pause, busyPointer},
                       DefaultLogPath());
    corvane.SetHeadless(headless);
    if (!options.logPath.isEmpty())
        corvane.OverrideLog(options.logPath);
    if (headless) {
        corvane.onFieldsLoaded = [&settingsStore, &corvane] {
            WriteTo(stderr, HeadlessStartLine(settingsStore.filePath(SettingsAppName),
                                              corvane.window(), settingsStore) +
                                u'\n');
        };
    }
    if (desktopBoxes)
        desktopBoxes->setWindow(&corvane.window());
    corvane.onEnded = [] { QCoreApplication::quit(); };

    // A desktop session that ends, and a stop signal, close without the question
    // but with the stop line in the log.
    TerminationSignals signals(&stop);
    QObject::connect(&signals, &TerminationSignals::received,
                     [&corvane] { corvane.window().CloseForSessionEnd(); });
    QObject::connect(&application, &QGuiApplication::commitDataRequest,
                     [&stop, &corvane](QSessionManager &) {
                         stop.raise();
                         corvane.window().CloseForSessionEnd();
                     });

    // Nobody sees a cursor blink without a display, and every blink repaints the
    // window (two repaints a second, each reading the time-zone file).
    if (headless)
        QApplication::setCursorFlashTime(0);

    corvane.Start();
    return application.exec();
}
