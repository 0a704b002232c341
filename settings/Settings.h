#pragma once

#include <QString>
#include <QStringList>

class SettingsStore;
class MessageBoxes;

inline const QString SettingsAppName = QStringLiteral("Vestrel");
inline const QString SettingsSection = QStringLiteral("LastValues");
inline const QString OptionsSection = QStringLiteral("Options");

// The per-user settings, read and written one key at a time. Nothing is cached:
// every call goes to the store, and a write has reached the disk when SaveValue
// returns.
class Settings
{
public:
    Settings(SettingsStore &store, MessageBoxes &boxes);

    // The stored text, or empty text when the key is missing or cannot be read.
    QString GetValue(const QString &section, const QString &key);
    // Whether the key has ever been written, so that a key never written can keep
    // its field's default while a key stored as empty text loads as empty.
    bool HasValue(const QString &section, const QString &key);
    // Whether any key of the section has ever been written.
    bool HasAnyValue(const QString &section);
    // The keys of the section, each once, in the order they first appear.
    QStringList Keys(const QString &section);
    // One log line naming the lines of the settings file that are not settings and
    // were skipped; empty text when there are none.
    QString SkippedLinesReport() const;
    // A failed write shows the "Registry" box and returns normally.
    void SaveValue(const QString &section, const QString &key, const QString &value);
    // The store itself, for what is read from other sections, such as the ports' devices.
    SettingsStore &store() const { return m_store; }

private:
    SettingsStore &m_store;
    MessageBoxes &m_boxes;
};
