#pragma once

#include "CommandSender.h"
#include "LogWriter.h"

#include <QList>
#include <QStringList>

// Records log entries and sent commands in the order they happened.
class RecordingLog final : public LogWriter
{
public:
    struct Entry
    {
        QString message;
        bool stamp;
        bool spaced;
        QString category;
    };
    void WriteLog(const QString &message, bool stamp, bool spaced, const QString &category) override
    {
        entries.append({message, stamp, spaced, category});
    }
    // The router's bytes are recorded one character per byte, as Latin-1 maps them.
    void WriteReceived(const QByteArray &bytes, bool stamp) override
    {
        entries.append(
            {QString::fromLatin1(bytes), stamp, false, stamp ? kCommunications : QString()});
    }
    QList<Entry> entries;
};

class RecordingSender final : public CommandSender
{
public:
    void SendCommand(const QString &command) override { commands.append(command); }
    QStringList commands;
};
