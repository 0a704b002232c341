#pragma once

#include "EngineRecorders.h"
#include "FakeClock.h"
#include "FakeMessageBoxes.h"
#include "FakeWindowFields.h"
#include "PingEngine.h"
#include "PingPermissionNotice.h"
#include "RecordingLog.h"
#include "RecordingWatchEvents.h"
#include "ScriptedEcho.h"

inline const QString kPrimary = QStringLiteral("127.0.0.1");
inline const QString kSecondary = QStringLiteral("127.0.0.2");
inline const QString kFailCommandSent = QStringLiteral("Corvane (Fail command sent)");

// The engine with everything around it faked, set up as start-up leaves it with
// retries 5, both addresses dead until a test scripts an answer.
struct EngineRig
{
    FakeWindowFields fields;
    FakeMeter meter;
    ScriptedEcho echo;
    RecordingSender sender;
    RecordingLog log;
    RecordingTrayTip tray;
    FakeClock clock;
    FakePause stop;
    FakeMessageBoxes boxes;
    PingPermissionNotice permissionNotice{log, boxes, QStringLiteral("/opt/corvane/corvane")};
    RecordingWatchEvents events;
    QList<qint32> tickCountsSeenBySchedule;
    PingEngine engine{
        fields, meter, echo, sender, log, tray, clock, stop, permissionNotice, events, [this] {
            checkSchedule();
        }};

    EngineRig()
    {
        fields.setText(Field::AddrPri, kPrimary);
        fields.setText(Field::AddrSec, kSecondary);
        fields.setText(Field::TimeoutPri, QStringLiteral("1000"));
        fields.setText(Field::TimeoutSec, QStringLiteral("1000"));
        fields.setText(Field::FailCommand, QStringLiteral("^m^m"));
        fields.setText(Field::FailResend, QStringLiteral("30"));
        setRetries(5);
    }

    void setRetries(int retries)
    {
        fields.setText(Field::FailTries, QString::number(retries));
        meter.setMaximum(retries);
    }

    void failingCycles(int count)
    {
        for (int cycle = 0; cycle < count; ++cycle)
            engine.PingCycle();
    }

    // Stands in for the schedule: records where the tick count stood when it ran.
    void checkSchedule()
    {
        tickCountsSeenBySchedule.append(engine.TickCount());
        if (onCheckSchedule)
            onCheckSchedule();
    }
    std::function<void()> onCheckSchedule;

    QStringList logMessages() const
    {
        QStringList messages;
        for (const RecordingLog::Entry &entry : log.entries)
            messages.append(entry.message);
        return messages;
    }
};
