#pragma once

#include "CommandSender.h"
#include "LogWriter.h"
#include "TrayTip.h"

#include <QStringList>

class RecordingTrayTip final : public TrayTip
{
public:
    void UpdateTrayTip(const QString &text) override { tips.append(text); }
    QStringList tips;
};

// Log entries and sends in one list, so that their interleaving can be checked.
class EventSequence final : public LogWriter, public CommandSender
{
public:
    void WriteLog(const QString &message, bool, bool, const QString &) override
    {
        events.append(QStringLiteral("log ") + message);
    }
    void WriteReceived(const QByteArray &bytes, bool) override
    {
        events.append(QStringLiteral("received ") + QString::fromLatin1(bytes));
    }
    void SendCommand(const QString &command) override
    {
        events.append(QStringLiteral("send ") + command);
    }
    QStringList events;
};
