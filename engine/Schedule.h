#pragma once

#include "WindowFields.h"

#include <QDate>
#include <QString>
#include <QTime>

#include <array>

class Clock;
class CommandSender;
class LogWriter;
class MessageBoxes;
class Settings;
class WatchEvents;

// The four scheduled command slots: each sends its command once a day when the time
// of day reaches the slot's time, whatever the state of the connection.
class Schedule
{
public:
    Schedule(WindowFields &fields, LogWriter &log, CommandSender &sender, Settings &settings,
             MessageBoxes &boxes, const Clock &clock, WatchEvents &events);

    // Runs once a second: sends every slot whose time lies within the last 15 seconds
    // and that has not been sent for it yet.
    void CheckSchedule();

    // The command field's text changed: an empty command switches the slot off.
    void CommandChanged(int slot);
    // Focus leaves the command field: stored as typed, never refused.
    void ConfirmCommand(int slot);
    // Focus leaves the time field. Returns false, after telling the user, when the
    // text is not a time; the field is then emptied and the slot set to midnight.
    bool ConfirmTime(int slot);
    // Start-up: a text that is not a time leaves the slot unarmed, never firing,
    // until the user confirms a time in the field.
    void SetScheduleTime(int slot, const QString &text);

    // The slot's time, or a null time while the slot is unarmed.
    QTime ScheduleTime(int slot) const;
    bool ScheduleSent(int slot) const;

private:
    struct Slot
    {
        int timeMs = 0; // since midnight
        // Cleared by a stored time that does not read as one: firing at midnight
        // instead would send a command at an hour the user never chose.
        bool armed = true;
        bool sent = false;
        QDate sentOn;
    };

    WindowFields &m_fields;
    LogWriter &m_log;
    CommandSender &m_sender;
    Settings &m_settings;
    MessageBoxes &m_boxes;
    const Clock &m_clock;
    WatchEvents &m_events;
    std::array<Slot, kScheduleSlots> m_slots{};
};
