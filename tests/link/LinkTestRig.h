#pragma once

#include "BusyPointer.h"
#include "DeviceLink.h"
#include "FakeClock.h"
#include "FakeMessageBoxes.h"
#include "FakeWindowFields.h"
#include "IniSettingsStore.h"
#include "PortDevice.h"
#include "PseudoTerminal.h"
#include "QtSerialPort.h"
#include "RecordingLog.h"
#include "RecordingWatchEvents.h"
#include "Settings.h"

#include <QTemporaryDir>
#include <QTest>

class RecordingBusyPointer final : public BusyPointer
{
public:
    void setBusy(bool busy) override { changes.append(busy); }
    bool isBusy() const { return !changes.isEmpty() && changes.last(); }
    QList<bool> changes;
};

// The router's side sends; the bytes wait in the port when this returns, as the event
// loop lets them arrive between ticks.
inline bool SendAndWait(PseudoTerminal &router, QtSerialPort &port, const QByteArray &bytes)
{
    int waiting = 0;
    const auto arrived = [&] {
        return !port.inBufferCount(waiting).failed() && waiting >= bytes.size();
    };
    return router.send(bytes) && QTest::qWaitFor(arrived, 2000);
}

// The link with a pseudo-terminal as its port. Pauses are only recorded: the test
// sees what the link asked for, and no scheduler can stretch or shorten it.
struct Rig
{
    Rig() { fields.setText(Field::FailPort, QStringLiteral("1")); }

    bool opened() { return terminal.isValid() && !link.OpenCommPort(); }

    bool sendAndWait(const QByteArray &bytes) { return SendAndWait(terminal, port, bytes); }

    PseudoTerminal terminal;
    QTemporaryDir folder;
    IniSettingsStore store{folder.path()};
    FakeMessageBoxes boxes;
    Settings settings{store, boxes};
    FakeWindowFields fields;
    RecordingLog log;
    RecordingBusyPointer busy;
    FakePause fakePause;
    QString device = terminal.slavePath();
    QList<int> resolved;
    std::function<void()> onResolve;
    // Devices come from the settings' port map, as in the program, instead of device.
    bool devicesFromSettings = false;
    QtSerialPort port{[this](int portNumber) {
        resolved.append(portNumber);
        if (onResolve)
            onResolve();
        return devicesFromSettings ? PortDevicePath(store, portNumber) : device;
    }};
    RecordingWatchEvents events;
    DeviceLink link{port, fields, settings, log, boxes, fakePause, busy, events};
};

inline const QString kMissingDevice = QStringLiteral("/nonexistent/ttyCorvane");
