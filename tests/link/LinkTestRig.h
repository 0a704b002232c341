#pragma once

#include "BusyPointer.h"
#include "DeviceLink.h"
#include "FakeClock.h"
#include "FakeMessageBoxes.h"
#include "FakeWindowFields.h"
#include "IniSettingsStore.h"
#include "PseudoTerminal.h"
#include "QtSerialPort.h"
#include "RecordingLog.h"
#include "Settings.h"

#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

class RecordingBusyPointer final : public BusyPointer
{
public:
    void setBusy(bool busy) override
    {
        changes.append(busy);
        current = busy;
    }
    QList<bool> changes;
    bool current = false;
};

// The link with a pseudo-terminal as its port. Pauses are fake (the clock moves
// instead) unless the test needs the real pacing on the wire.
struct Rig
{
    explicit Rig(bool realPauses = false)
        : pause(realPauses ? static_cast<Pause *>(&threadPause) : &fakePause)
    {
        fields.setText(Field::FailPort, QStringLiteral("1"));
        device = terminal.slavePath();
    }

    QString storedFailPort()
    {
        return store.read(SettingsAppName, SettingsSection, QStringLiteral("FailPort"))
            .value_or(QStringLiteral("<missing>"));
    }

    // Lets the port take what the router sent, as the event loop does between ticks.
    bool waitUntilWaiting(int bytes)
    {
        return QTest::qWaitFor(
            [&] {
                int waiting = 0;
                port.inBufferCount(waiting);
                return waiting >= bytes;
            },
            2000);
    }

    PseudoTerminal terminal;
    QTemporaryDir folder;
    IniSettingsStore store{folder.path()};
    FakeMessageBoxes boxes;
    Settings settings{store, boxes};
    FakeWindowFields fields;
    RecordingLog log;
    RecordingBusyPointer busy;
    FakeClock clock;
    FakePause fakePause{&clock};
    ThreadPause threadPause;
    Pause *pause;
    QString device;
    QList<int> resolved;
    std::function<void()> onResolve;
    QtSerialPort port{[this](int portNumber) {
        resolved.append(portNumber);
        if (onResolve)
            onResolve();
        return device;
    }};
    DeviceLink link{port, fields, settings, log, boxes, *pause, busy};
};

inline qint64 ProcessCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

inline qint64 ElapsedMs(std::chrono::steady_clock::time_point from,
                        std::chrono::steady_clock::time_point to)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(to - from).count() / 1000;
}

inline const QString kMissingDevice = QStringLiteral("/nonexistent/ttyCorvane");
