#pragma once

#include "BusyPointer.h"
#include "CorvaneApp.h"
#include "EventPrograms.h"
#include "FakeClock.h"
#include "FakeMessageBoxes.h"
#include "FakeSleepSignal.h"
#include "FakeTray.h"
#include "IniSettingsStore.h"
#include "LinkTestRig.h"
#include "LocalTextFiles.h"
#include "QtSerialPort.h"
#include "ScriptedEcho.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>

class IdleDesktop final : public TextEditor, public BusyPointer
{
public:
    Outcome open(const QString &) override { return Outcome::success(); }
    void setBusy(bool) override {}
};

// The whole program, with its settings, log and history in a temporary folder, the
// router's console on a pseudo-terminal, scripted echoes, the real event programs, and
// the rest of the desktop faked.
class AppRig
{
public:
    // A device that cannot be opened stands in for a missing serial port; without
    // one, every port number leads to the pseudo-terminal. Boxes go to the recording
    // fake unless other boxes are given. The History window shows history, or when
    // none is given the store.
    explicit AppRig(QString device = {}, MessageBoxes *otherBoxes = nullptr,
                    HistorySource *history = nullptr)
        : shownBoxes(otherBoxes ? *otherBoxes : boxes),
          app({echo, serialPort, settingsStore, textFiles, desktop, shownBoxes, tray, clock, pause,
               desktop, sleepSignal, nullptr,
               [this](LogWriter &log) {
                   return std::make_unique<HistoryStore>(folder.filePath(kHistoryFileName), clock,
                                                         log, shownBoxes);
               },
               [this](const Options &options, LogWriter &log) {
                   auto programs = std::make_unique<EventPrograms>(options, log, clock);
                   eventPrograms = programs.get();
                   return programs;
               },
               history, nullptr,
               [this](const Options &options, LogWriter &log,
                      std::function<std::pair<SerialPort *, int>()> console) {
                   // Every port of its own leads to the relay's pseudo-terminal.
                   PowerPorts ports{std::move(console), [this] {
                                        return std::make_unique<QtSerialPort>(
                                            [this](int) { return relay.slavePath(); });
                                    }};
                   return std::make_unique<PowerCycle>(options, log, clock, std::move(ports));
               }},
              logPath()),
          m_device(device.isEmpty() ? router.slavePath() : std::move(device))
    {
    }

    // Start-up from a stored record (none: the first run), then what the event loop
    // brings right after it: the platform's answer to the window being minimised.
    void start(const QList<std::pair<QString, QString>> &record = {})
    {
        if (!record.isEmpty())
            settingsStore.write(SettingsAppName, SettingsSection, QStringLiteral("Init"),
                                QStringLiteral("Yes"));
        for (const auto &[key, value] : record)
            settingsStore.write(SettingsAppName, SettingsSection, key, value);
        app.Start(settings);
        QCoreApplication::processEvents();
    }
    void storeOption(const QString &key, const QString &value)
    {
        settingsStore.write(SettingsAppName, OptionsSection, key, value);
    }
    QString stored(const QString &key)
    {
        return settingsStore.read(SettingsAppName, SettingsSection, key)
            .value_or(QStringLiteral("(missing)"));
    }

    QString logPath() const { return folder.filePath(QStringLiteral("log.txt")); }
    QStringList logLines() const { return logLines(logPath()); }
    static QStringList logLines(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLatin1(file.readAll()).split(QStringLiteral("\r\n"));
    }
    qsizetype logCount(const QString &line) const { return logLines().count(line); }

    MainWindow &window() { return app.window(); }
    QWidget *control(const QString &name) { return window().findChild<QWidget *>(name); }
    bool hasFocus(const QString &name) { return QApplication::focusWidget() == control(name); }

    // The user clicks the tray icon to bring the window back.
    bool showWindow()
    {
        tray.onActivated();
        return QTest::qWaitForWindowActive(&window());
    }

    // Through the window, where the field confirmation sees a real click.
    void clickOn(const QString &name)
    {
        QWidget *target = control(name);
        if (auto *combo = qobject_cast<QComboBox *>(target))
            target = combo->lineEdit(); // not the arrow, which opens the list
        QTest::mouseClick(window().windowHandle(), Qt::LeftButton, {},
                          target->mapTo(&window(), target->rect().center()));
    }

    // Clicks into the field and types over its text.
    void typeInto(const QString &name, const QString &typed)
    {
        clickOn(name);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
        QTest::keyClicks(QApplication::focusWidget(), typed);
    }

    QTemporaryDir folder;
    PseudoTerminal router;
    // Where a power relay on a port of its own is wired.
    PseudoTerminal relay;
    ScriptedEcho echo;
    // The port numbers whose device the link looked up, in order.
    QList<int> portsLookedUp;
    QtSerialPort serialPort{[this](int portNumber) {
        portsLookedUp.append(portNumber);
        return m_device;
    }};
    IniSettingsStore settingsStore{folder.path()};
    LocalTextFiles textFiles;
    IdleDesktop desktop;
    FakeMessageBoxes boxes;
    FakeTray tray;
    FakeClock clock;
    FakePause pause{&clock};
    FakeSleepSignal sleepSignal;
    // What the app made of the rig's maker.
    EventPrograms *eventPrograms = nullptr;
    // Given to the app at start().
    RunSettings settings;
    // The boxes the app shows, the recording fake or the ones given.
    MessageBoxes &shownBoxes;
    CorvaneApp app;

private:
    const QString m_device;
};
