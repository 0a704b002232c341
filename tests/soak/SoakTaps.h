#pragma once

#include "BusyPointer.h"
#include "CaretNotation.h"
#include "Clock.h"
#include "CommandSender.h"
#include "LogWriter.h"
#include "TextFile.h"
#include "WindowFields.h"

#include <QStringList>

#include <array>

// Stands between the producers of log entries and the real log, and notes the
// program's own entries of the current tick by kind.
class LogTap final : public LogWriter
{
public:
    struct Tick
    {
        int failSends = 0;
        int noResponses = 0;
        std::array<int, kScheduleSlots> scheduled{};
        int unknown = 0;
        // When the last outage entry of the tick was written.
        qint64 outageEntryMs = -1;
    };

    LogTap(LogWriter &log, const Clock &clock, const QStringList &scheduledCommands)
        : m_log(log), m_clock(clock)
    {
        for (const QString &command : scheduledCommands)
            m_scheduledMessages.append(QStringLiteral("Sending scheduled command: ") + command);
    }

    void WriteLog(const QString &message, bool stamp, bool spaced, const QString &category) override
    {
        if (category == kSystemMessage)
            Note(message);
        m_log.WriteLog(message, stamp, spaced, category);
    }

    Tick tick;

private:
    void Note(const QString &message)
    {
        if (message.startsWith(QStringLiteral("No response after "))) {
            ++tick.failSends;
            tick.outageEntryMs = m_clock.now().toMSecsSinceEpoch();
            return;
        }
        if (message == QStringLiteral("No response to pings.")) {
            ++tick.noResponses;
            tick.outageEntryMs = m_clock.now().toMSecsSinceEpoch();
            return;
        }
        const qsizetype slot = m_scheduledMessages.indexOf(message);
        if (slot >= 0 && slot < qsizetype(tick.scheduled.size()))
            ++tick.scheduled[slot];
        else
            ++tick.unknown;
    }

    LogWriter &m_log;
    const Clock &m_clock;
    QStringList m_scheduledMessages;
};

// Stands in front of the link and notes the bytes each command should put on the
// wire, so that none can go missing or double between the engine and the port.
class SendTap final : public CommandSender
{
public:
    explicit SendTap(CommandSender &sender) : m_sender(sender) {}

    void SendCommand(const QString &command) override
    {
        for (const CommandByte &next : DecodeCommand(command))
            expected.append(next.byte);
        m_sender.SendCommand(command);
    }

    QByteArray expected;

private:
    CommandSender &m_sender;
};

class IdleBusyPointer final : public BusyPointer
{
public:
    void setBusy(bool) override {}
};

class UnusedTextEditor final : public TextEditor
{
public:
    Outcome open(const QString &) override { return Outcome::success(); }
};
