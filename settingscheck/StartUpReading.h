#pragma once

#include "SettingsStore.h"
#include "WindowFields.h"

#include <QHash>
#include <QStringList>

class Settings;

// The settings as seen through the store, with every change dropped: the start-up code
// writes "Init" on its way, which a check that writes nothing must not.
class ReadOnlyStore final : public SettingsStore
{
public:
    explicit ReadOnlyStore(SettingsStore &store) : m_store(store) {}

    std::optional<QString> read(const QString &application, const QString &section,
                                const QString &key) override
    {
        return m_store.read(application, section, key);
    }
    Outcome write(const QString &, const QString &, const QString &, const QString &) override
    {
        return Outcome::success();
    }
    Outcome remove(const QString &, const QString &, const QString &) override
    {
        return Outcome::success();
    }
    bool hasKeys(const QString &application, const QString &section) override
    {
        return m_store.hasKeys(application, section);
    }
    QStringList keys(const QString &application, const QString &section) override
    {
        return m_store.keys(application, section);
    }
    QString skippedLinesReport(const QString &application) const override
    {
        return m_store.skippedLinesReport(application);
    }
    Outcome readable(const QString &application) override { return m_store.readable(application); }

private:
    SettingsStore &m_store;
};

// The main window's fields without a window: the texts it is designed with, then
// whatever start-up puts in them.
class DesignedFields final : public WindowFields
{
public:
    // The log field holds the path the watch chooses when none is stored.
    explicit DesignedFields(const QString &defaultLogPath);

    QString text(Field field) const override { return m_texts.value(field); }
    void setText(Field field, const QString &text) override { m_texts[field] = text; }
    bool isEnabled(Field field) const override { return m_enabled.value(field, true); }
    void setEnabled(Field field, bool enabled) override { m_enabled[field] = enabled; }

private:
    QHash<Field, QString> m_texts;
    QHash<Field, bool> m_enabled;
};

// What the watch's start-up makes of the stored LastValues, by the start-up's own code:
// the fields it runs with, and its report's lines on the values it does not run with.
struct StartUpReading
{
    explicit StartUpReading(const QString &defaultLogPath) : fields(defaultLogPath) {}
    DesignedFields fields;
    QStringList refusedValues;
};
StartUpReading ReadAsTheWatchStarts(Settings &settings, const QString &defaultLogPath);
