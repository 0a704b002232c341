#include "Schedule.h"

#include "Clock.h"
#include "CommandSender.h"
#include "FieldConfirmation.h"
#include "LogWriter.h"
#include "MessageBoxes.h"
#include "Settings.h"
#include "TimeOfDay.h"
#include "WatchEvents.h"

#include <optional>

namespace {

// A late tick (a ping with long time-outs, a paced send, a box) still sends a slot
// whose time it has passed by no more than this.
constexpr int kScheduleWindowMs = 15 * 1000;

} // namespace

Schedule::Schedule(WindowFields &fields, LogWriter &log, CommandSender &sender, Settings &settings,
                   MessageBoxes &boxes, const Clock &clock, WatchEvents &events)
    : m_fields(fields), m_log(log), m_sender(sender), m_settings(settings), m_boxes(boxes),
      m_clock(clock), m_events(events)
{
}

void Schedule::CheckSchedule()
{
    // Reading the wall clock looks at the time-zone file each time; an idle second
    // with nothing scheduled does without it.
    std::optional<QDateTime> now;

    for (int slotIndex = 0; slotIndex < kScheduleSlots; ++slotIndex) {
        const QString command = m_fields.text(SchedCmdField(slotIndex));
        if (command.isEmpty())
            continue;
        Slot &slot = m_slots[slotIndex];
        if (!slot.armed)
            continue;

        if (!now)
            now = m_clock.now();
        const QDate today = now->date();
        // Times of day are compared as they stand, so a window never reaches back past
        // midnight into the day before.
        const int windowEnd = now->time().msecsSinceStartOfDay();
        const int windowStart = windowEnd - kScheduleWindowMs;

        // A flag set yesterday is done with: a slot in the last 30 seconds of the day
        // is never left 30 seconds behind before midnight and would otherwise stay
        // sent for good.
        if (slot.sent && slot.sentOn != today)
            slot.sent = false;

        if (slot.sent) {
            if (windowStart > slot.timeMs + kScheduleWindowMs)
                slot.sent = false;
            continue;
        }

        if (slot.timeMs >= windowStart && slot.timeMs <= windowEnd) {
            slot.sent = true;
            slot.sentOn = today;
            m_log.WriteLog(QStringLiteral("Sending scheduled command: ") + command, true, true,
                           kSystemMessage);
            m_sender.SendCommand(command);
            m_events.commandSent(CommandKind::Scheduled, command);
        }
    }
}

void Schedule::CommandChanged(int slot)
{
    m_fields.setEnabled(SchedTimeField(slot), !m_fields.text(SchedCmdField(slot)).isEmpty());
}

void Schedule::ConfirmCommand(int slot)
{
    m_settings.SaveValue(SettingsSection, FieldKey(SchedCmdField(slot)),
                         m_fields.text(SchedCmdField(slot)));
}

bool Schedule::ConfirmTime(int slot)
{
    const std::optional<QTime> time = ParseTimeOfDay(m_fields.text(SchedTimeField(slot)));
    if (!time)
        m_boxes.show(kTimeEntryRefusal, QStringLiteral("Time Entry"), BoxStyle::OkExclamation);

    // Stored and shown either way: a refused entry leaves an empty field, taken as
    // midnight, so leaving it again asks once more.
    const QString text = time ? TimeOfDayText(*time) : QString();
    m_fields.setText(SchedTimeField(slot), text);
    m_settings.SaveValue(SettingsSection, FieldKey(SchedTimeField(slot)), text);
    m_slots[slot].timeMs = time ? time->msecsSinceStartOfDay() : 0;
    m_slots[slot].armed = true;
    return time.has_value();
}

void Schedule::SetScheduleTime(int slot, const QString &text)
{
    const std::optional<QTime> time = ParseTimeOfDay(text);
    m_slots[slot].armed = time.has_value();
    m_slots[slot].timeMs = time ? time->msecsSinceStartOfDay() : 0;
}

QTime Schedule::ScheduleTime(int slot) const
{
    if (!m_slots[slot].armed)
        return {};
    return QTime::fromMSecsSinceStartOfDay(m_slots[slot].timeMs);
}

bool Schedule::ScheduleSent(int slot) const
{
    return m_slots[slot].sent;
}
