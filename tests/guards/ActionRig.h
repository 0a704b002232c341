#pragma once

#include "ActionSafety.h"
#include "EngineRecorders.h"
#include "FakeWindowFields.h"
#include "LinkTestRig.h"
#include "PingEngine.h"
#include "PingPermissionNotice.h"
#include "ScriptedEcho.h"

#include <QFile>

// Fail-command sends, as the monotonic clock read them.
class SendTimes final : public WatchEvents
{
public:
    explicit SendTimes(const Clock &clock) : m_clock(clock) {}
    void commandSent(CommandKind kind, const QString &) override
    {
        if (kind == CommandKind::Fail)
            ms.append(m_clock.monotonicMs());
    }
    QList<qint64> ms;

private:
    const Clock &m_clock;
};

// The real engine and the real link, on a pseudo-terminal reached through a link in
// the test's folder as a USB adapter's /dev/serial/by-id/... name is, with the
// options' parts wired as the program wires them. The clock is fake; a pause moves
// it, unless the test needs the real pacing on the wire. Retries 1: the first
// failing cycle acts.
struct ActionRig
{
    explicit ActionRig(bool realPauses = false)
        : pause(realPauses ? static_cast<Pause *>(&threadPause) : &fakePause)
    {
        fields.setText(Field::AddrPri, QStringLiteral("127.0.0.1"));
        fields.setText(Field::AddrSec, QStringLiteral("127.0.0.2"));
        fields.setText(Field::TimeoutPri, QStringLiteral("1000"));
        fields.setText(Field::TimeoutSec, QStringLiteral("1000"));
        fields.setText(Field::FailCommand, QStringLiteral("^m^m"));
        fields.setText(Field::FailResend, QStringLiteral("30"));
        fields.setText(Field::FailTries, QStringLiteral("1"));
        fields.setText(Field::FailPort, QStringLiteral("1"));
        meter.setMaximum(1);
        events.listen(safety);
        events.listen(sends);
        engine.SetActionGate(safety.gate());
        link.setReopenPort(safety.options().reopenPort);
    }

    bool opened() { return pointAt(router) && !link.OpenCommPort(); }
    bool pointAt(const PseudoTerminal &terminal)
    {
        QFile::remove(device);
        return terminal.isValid() && QFile::link(terminal.slavePath(), device);
    }

    // One cycle of a ping period of a minute, then the rest of the minute, in
    // receive-poll ticks where the test looks at the console.
    void minute(bool answered = false, bool polls = false)
    {
        cycle(answered);
        if (!polls) {
            clock.advanceMs(60'000);
            return;
        }
        for (int second = 0; second < 60; ++second)
            tick();
    }
    void cycle(bool answered = false)
    {
        echo.script(QStringLiteral("127.0.0.1"), answered ? kEchoSuccess : kEchoTimedOut);
        engine.PingCycle(PingEngine::CycleCause::Timer);
    }
    void tick()
    {
        clock.advanceMs(1000);
        link.PollReceive();
        safety.Tick();
    }
    // The router speaks; the bytes are waiting in the port when this returns.
    bool routerSays(const QByteArray &bytes) { return SendAndWait(router, port, bytes); }

    QStringList logMessages() const
    {
        QStringList messages;
        for (const RecordingLog::Entry &entry : log.entries)
            messages.append(entry.message);
        return messages;
    }
    // The minutes since the start at which fail commands went out.
    QList<qint64> sendMinutes() const
    {
        QList<qint64> minutes;
        for (const qint64 ms : sends.ms)
            minutes.append(ms / 60'000);
        return minutes;
    }

    PseudoTerminal router;
    QTemporaryDir folder;
    QString device = folder.filePath(QStringLiteral("ttyRouter"));
    IniSettingsStore store{folder.path()};
    FakeMessageBoxes boxes;
    Settings settings{store, boxes};
    FakeWindowFields fields;
    FakeMeter meter;
    ScriptedEcho echo;
    RecordingLog log;
    RecordingTrayTip tray;
    RecordingBusyPointer busy;
    FakeClock clock;
    FakePause fakePause{&clock};
    ThreadPause threadPause;
    Pause *pause;
    QtSerialPort port{[this](int) { return device; }};
    WatchEventHub events;
    DeviceLink link{port, fields, settings, log, boxes, *pause, busy, events};
    ActionSafety safety{tray, [this] { return tray.tips.value(tray.tips.size() - 1); }, log, clock};
    SendTimes sends{clock};
    PingPermissionNotice permissionNotice{log, boxes, QStringLiteral("/opt/corvane/corvane")};
    PingEngine engine{fields,           meter,  echo, link, log, safety.pause(), clock, *pause,
                      permissionNotice, events, {}};
};
