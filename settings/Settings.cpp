#include "Settings.h"

#include "Registry.h"
#include "SettingsStore.h"

Settings::Settings(SettingsStore &store, MessageBoxes &boxes) : m_store(store), m_boxes(boxes) {}

QString Settings::GetValue(const QString &section, const QString &key)
{
    Registry registry(m_store, m_boxes);
    registry.SetAppName(SettingsAppName);
    registry.SetSection(section);
    registry.SetKey(key);
    registry.RegGet();
    return registry.Setting();
}

bool Settings::HasValue(const QString &section, const QString &key)
{
    return m_store.read(SettingsAppName, section, key).has_value();
}

bool Settings::HasAnyValue(const QString &section)
{
    return m_store.hasKeys(SettingsAppName, section);
}

QString Settings::SkippedLinesReport() const
{
    return m_store.skippedLinesReport(SettingsAppName);
}

void Settings::SaveValue(const QString &section, const QString &key, const QString &value)
{
    Registry registry(m_store, m_boxes);
    registry.SetAppName(SettingsAppName);
    registry.SetSection(section);
    registry.SetKey(key);
    registry.SetSetting(value);
    registry.RegSave();
}
