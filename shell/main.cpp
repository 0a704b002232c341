#include "BusyPointer.h"
#include "Clock.h"
#include "CorvaneApp.h"
#include "DesktopTextEditor.h"
#include "HeadlessFallback.h"
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

#include <csignal>
#include <memory>

namespace {

QString DefaultLogPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Corvane/log.txt");
}

} // namespace

int main(int argc, char *argv[])
{
    // First of all: a headless monitor whose stderr reader has gone (a pipe closed
    // by a logger that ended) would otherwise die of its next line there, without
    // its stop line. A failed write to stderr is then only a line nobody reads.
    std::signal(SIGPIPE, SIG_IGN);

    // Without a display, or with one that does not answer, Corvane still watches
    // the line, as a headless monitor.
    HeadlessFallback fallback;
    QApplication application(argc, argv);
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
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
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
