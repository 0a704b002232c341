#pragma once

#include "SettingsStore.h"

#include <QString>

#include <functional>

class IniDocument;

// The settings of each application in an INI file named after it ("Vestrel.ini"),
// one group per section, inside the folder given at construction. Users edit the file
// by hand: a write changes the one line of its key and keeps every other byte (see
// IniDocument.h), and replaces the file in one step, so that a full disk or a crash
// leaves the old file whole. Nothing is cached: each call reads the file.
class IniSettingsStore final : public SettingsStore
{
public:
    explicit IniSettingsStore(QString folder);

    std::optional<QString> read(const QString &application, const QString &section,
                                const QString &key) override;
    Outcome write(const QString &application, const QString &section, const QString &key,
                  const QString &value) override;
    Outcome remove(const QString &application, const QString &section, const QString &key) override;
    bool hasKeys(const QString &application, const QString &section) override;
    QStringList keys(const QString &application, const QString &section) override;
    Outcome readable(const QString &application) override;

    // "The settings file <path> has lines that are not settings, which were skipped:
    // 3, 7."; empty text when there are none or the file cannot be read.
    QString skippedLinesReport(const QString &application) const override;

    QString filePath(const QString &application) const;

private:
    Outcome change(const QString &application, const std::function<void(IniDocument &)> &edit);

    QString m_folder;
};
