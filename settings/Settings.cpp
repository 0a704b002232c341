#include "Settings.h"

#include "SettingsEntry.h"
#include "SettingsStore.h"

Settings::Settings(SettingsStore &store, MessageBoxes &boxes) : m_store(store), m_boxes(boxes) {}

QString Settings::GetValue(const QString &section, const QString &key)
{
    SettingsEntry entry(m_store, m_boxes);
    entry.SetAppName(SettingsAppName);
    entry.SetSection(section);
    entry.SetKey(key);
    entry.RegGet();
    return entry.Setting();
}

bool Settings::HasValue(const QString &section, const QString &key)
{
    return m_store.read(SettingsAppName, section, key).has_value();
}

bool Settings::HasAnyValue(const QString &section)
{
    return m_store.hasKeys(SettingsAppName, section);
}

QStringList Settings::Keys(const QString &section)
{
    return m_store.keys(SettingsAppName, section);
}

QString Settings::SkippedLinesReport() const
{
    return m_store.skippedLinesReport(SettingsAppName);
}

void Settings::SaveValue(const QString &section, const QString &key, const QString &value)
{
    SettingsEntry entry(m_store, m_boxes);
    entry.SetAppName(SettingsAppName);
    entry.SetSection(section);
    entry.SetKey(key);
    entry.SetSetting(value);
    entry.RegSave();
}
