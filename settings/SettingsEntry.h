#pragma once

#include "Outcome.h"

#include <QString>

class SettingsStore;
class MessageBoxes;

// One read, write or delete of a single settings value. Set AppName, Section and
// Key (and Setting before RegSave), call the operation, then read Setting after
// RegGet. An object serves one call and keeps nothing between calls.
class SettingsEntry
{
public:
    SettingsEntry(SettingsStore &store, MessageBoxes &boxes);

    QString AppName() const { return m_appName; }
    void SetAppName(const QString &appName) { m_appName = appName; }
    QString Section() const { return m_section; }
    void SetSection(const QString &section) { m_section = section; }
    QString Key() const { return m_key; }
    void SetKey(const QString &key) { m_key = key; }
    QString Setting() const { return m_setting; }
    void SetSetting(const QString &setting) { m_setting = setting; }

    // A missing or unreadable value reads as empty text, silently.
    void RegGet();
    // A failed write is shown to the user in the "Registry" box; the caller goes on.
    void RegSave();
    // Reports nothing itself: a failed deletion goes back to the caller.
    Outcome RegDel();

private:
    SettingsStore &m_store;
    MessageBoxes &m_boxes;
    QString m_appName;
    QString m_section;
    QString m_key;
    QString m_setting;
};
