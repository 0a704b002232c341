#include "SettingsEntry.h"

#include "MessageBoxes.h"
#include "SettingsStore.h"

SettingsEntry::SettingsEntry(SettingsStore &store, MessageBoxes &boxes)
    : m_store(store), m_boxes(boxes)
{
}

void SettingsEntry::RegGet()
{
    m_setting = m_store.read(m_appName, m_section, m_key).value_or(QString());
}

void SettingsEntry::RegSave()
{
    if (!m_store.write(m_appName, m_section, m_key, m_setting).failed())
        return;
    // The joins are two backslash characters each, as users have always seen them.
    const QString join = QStringLiteral("\\\\");
    m_boxes.show(QStringLiteral("Could not write to registry.\r\n") + m_appName + join + m_section +
                     join + m_key,
                 QStringLiteral("Registry"), BoxStyle::OkExclamation);
}

Outcome SettingsEntry::RegDel()
{
    return m_store.remove(m_appName, m_section, m_key);
}
