#pragma once

#include "CommandSender.h"
#include "LogWriter.h"
#include "SettingsStore.h"
#include "TrayTip.h"

#include <QHash>
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
    void SendCommand(const QString &command) override
    {
        events.append(QStringLiteral("send ") + command);
    }
    QStringList events;
};

class MemorySettingsStore final : public SettingsStore
{
public:
    std::optional<QString> read(const QString &application, const QString &section,
                                const QString &key) override
    {
        const QString name = application + u'/' + section + u'/' + key;
        if (!values.contains(name))
            return std::nullopt;
        return values.value(name);
    }
    Outcome write(const QString &application, const QString &section, const QString &key,
                  const QString &value) override
    {
        values[application + u'/' + section + u'/' + key] = value;
        return Outcome::success();
    }
    Outcome remove(const QString &application, const QString &section, const QString &key) override
    {
        values.remove(application + u'/' + section + u'/' + key);
        return Outcome::success();
    }
    QHash<QString, QString> values;
};
