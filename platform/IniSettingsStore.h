#pragma once

#include "SettingsStore.h"

#include <QString>

// The settings of each application in an INI file named after it ("Vestrel.ini"),
// one group per section, inside the folder given at construction.
class IniSettingsStore final : public SettingsStore
{
public:
    explicit IniSettingsStore(QString folder);

    std::optional<QString> read(const QString &application, const QString &section,
                                const QString &key) override;
    Outcome write(const QString &application, const QString &section, const QString &key,
                  const QString &value) override;
    Outcome remove(const QString &application, const QString &section, const QString &key) override;

    QString filePath(const QString &application) const;

private:
    QString m_folder;
};
